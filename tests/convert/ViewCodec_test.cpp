#include <gtest/gtest.h>

#include <string>

#include "ui/ViewText.h"

namespace {

void ExpectRoundTrip(const std::string& bytes) {
    ASSERT_EQ(EncodeViewText(DecodeViewText(bytes)), bytes);
    // The editor's form is always valid UTF-8 and gives the same bytes back.
    const std::string utf8 = DecodeViewUtf8(bytes);
    ASSERT_EQ(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toUtf8().toStdString(), utf8);
    ASSERT_EQ(EncodeViewUtf8(utf8), bytes);
}

}  // namespace

TEST(ViewCodec, AnyBytesSurvive) {
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) ExpectRoundTrip({char(a), char(b)});
    // Every four-byte run over the awkward bytes: line ends, controls, lead and trail bytes.
    const std::string awkward("\0\4\r\n a\x40\x7F\x80\x81\xA1\xB0\xD6\xE3\xFE\xFF", 16);
    for (int i = 0; i < 1 << 16; ++i)
        ExpectRoundTrip(
            {awkward[i & 15], awkward[i >> 4 & 15], awkward[i >> 8 & 15], awkward[i >> 12]});
}

TEST(ViewCodec, InvalidAndControlBytesAreVisible) {
    EXPECT_EQ(DecodeViewText("\xD6\xD0\xCE\xC4"), QString::fromUtf8("中文"));
    EXPECT_EQ(DecodeViewText("\x80"), QString(QChar(0x20AC)));
    // The trail bytes at the range's ends, 0x40 and 0xFE.
    EXPECT_EQ(DecodeViewText("\x81\x40\xB0\xFE"), QString::fromUtf8("丂剥"));
    // 81 20: lead byte without a valid trail is escaped, the space stays a space.
    const QString invalid = DecodeViewText("\x81 \xD6");
    EXPECT_EQ(invalid, QString(QChar(0xDC81)) + ' ' + QChar(0xDCD6));  // lone lead at the end
    EXPECT_EQ(EncodeViewText(invalid), "\x81 \xD6");

    const QString shown = DecodeViewText(std::string("\0\2\4\x1F\x7F", 5) + 'a');
    EXPECT_EQ(shown, QString(QChar(0x2400)) + QChar(0x2402) + QChar(0x2404) + QChar(0x241F) +
                         QChar(0x2421) + 'a');
    EXPECT_EQ(DecodeViewText("a\r\nb"), QString("a\r\nb"));
}

TEST(ViewCodec, TypedTextBecomesCodePage936) {
    // Characters code page 936 cannot hold become one '?' each; so does a lone surrogate.
    EXPECT_EQ(EncodeViewText(QString::fromUtf8("a\U0001F600b\u0E01c")), "a?b?c");
    EXPECT_EQ(EncodeViewText(QString(QChar(0xD800))), "?");
    EXPECT_EQ(EncodeViewText(QString::fromUtf8("\u20AC")), "\x80");
    EXPECT_EQ(EncodeViewText(QString("\t\x01")), "\t\x01");  // pasted control characters
}

TEST(ViewCodec, EditorFormKeepsBytesAndChinese) {
    // ASCII, controls, NUL and lone line ends stay themselves; GBK becomes its
    // character; each undecodable byte is one private-use character.
    EXPECT_EQ(DecodeViewUtf8(std::string("a\0\x02\r\n\r", 6)), std::string("a\0\x02\r\n\r", 6));
    EXPECT_EQ(DecodeViewUtf8("\xB5\xE3\x80"), "\xE7\x82\xB9\xE2\x82\xAC");  // 点€
    EXPECT_EQ(DecodeViewUtf8("\x81\x20"), "\xF4\x8F\xBA\x81 ");             // U+10FE81, space
    // Typed or pasted characters code page 936 lacks become '?'; so do
    // characters outside the basic plane other than the byte escapes.
    EXPECT_EQ(EncodeViewUtf8("\xF0\x9F\x98\x80\xE0\xB8\x81\xE7\x82\xB9"), "??\xB5\xE3");
    // Bytes that are not UTF-8 at all are kept as they are.
    EXPECT_EQ(EncodeViewUtf8("\xC0\xFF"), "\xC0\xFF");
}
