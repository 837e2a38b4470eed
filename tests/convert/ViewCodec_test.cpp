#include "convert/ViewCodec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

void ExpectRoundTrip(const std::string& bytes) {
    ASSERT_EQ(EncodeViewText(DecodeViewText(bytes)), bytes);
    ASSERT_EQ(EncodeViewDisplay(DecodeViewDisplay(bytes)), bytes);
    // The editor's form is always valid UTF-8 and gives the same bytes back.
    const std::string utf8 = DecodeViewUtf8(bytes);
    ASSERT_EQ(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toUtf8().toStdString(), utf8);
    ASSERT_EQ(EncodeViewUtf8(utf8), bytes);
}

}  // namespace

TEST(ViewCodec, EveryByteValueAtEveryPositionSurvives) {
    // A line of Chinese text with CR LF, so a changed byte lands inside pairs,
    // between them, before and after the line break.
    const std::string base =
        "\xD6\xD0\xCE\xC4,1.5\r\n\xB5\xE3"
        "A\r\n";
    for (size_t pos = 0; pos <= base.size(); ++pos) {
        for (int b = 0; b < 256; ++b) {
            std::string replaced = base;
            if (pos < base.size()) replaced[pos] = static_cast<char>(b);
            std::string inserted = base;
            inserted.insert(pos, 1, static_cast<char>(b));
            ExpectRoundTrip(replaced);
            ExpectRoundTrip(inserted);
        }
    }
}

TEST(ViewCodec, EveryBytePairSurvivesAlone) {
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b) ExpectRoundTrip(Bytes({a, b}));
}

TEST(ViewCodec, RandomByteStringsSurvive) {
    std::mt19937 rng(936);
    std::uniform_int_distribution<int> len(0, 80), any(0, 255), pick(0, 9);
    for (int n = 0; n < 5000; ++n) {
        std::string s;
        const int l = len(rng);
        for (int i = 0; i < l; ++i) {
            const int p = pick(rng);
            // Lean on the awkward bytes: line ends and lead bytes.
            s += static_cast<char>(p == 0   ? '\r'
                                   : p == 1 ? '\n'
                                   : p < 5  ? 0x81 + any(rng) % 126
                                            : any(rng));
        }
        ExpectRoundTrip(s);
    }
}

TEST(ViewCodec, ShowsGbkAsChineseAndEscapesInvalidBytes) {
    EXPECT_EQ(DecodeViewText("\xD6\xD0\xCE\xC4"), QString::fromUtf8("中文"));
    EXPECT_EQ(DecodeViewText("\x80"), QString(QChar(0x20AC)));
    // 81 20: lead byte without a valid trail is escaped, the space stays a space.
    const QString invalid = DecodeViewText(Bytes({0x81, 0x20, 0xD6}));
    ASSERT_EQ(invalid.size(), 3);
    EXPECT_EQ(invalid.at(0).unicode(), 0xDC81);
    EXPECT_EQ(invalid.at(1), QChar(' '));
    EXPECT_EQ(invalid.at(2).unicode(), 0xDCD6);  // lone lead byte at the end
    EXPECT_EQ(EncodeViewText(invalid), Bytes({0x81, 0x20, 0xD6}));
}

TEST(ViewCodec, ControlBytesAndLineEndsAreVisible) {
    const std::string bytes = Bytes({0x00, 0x02, 0x03, 0x04, 0x1F, 0x7F, 'a'});
    const QString shown = DecodeViewText(bytes);
    ASSERT_EQ(shown.size(), 7);
    EXPECT_EQ(shown.at(0).unicode(), 0x2400);
    EXPECT_EQ(shown.at(1).unicode(), 0x2402);
    EXPECT_EQ(shown.at(3).unicode(), 0x2404);
    EXPECT_EQ(shown.at(4).unicode(), 0x241F);
    EXPECT_EQ(shown.at(5).unicode(), 0x2421);
    EXPECT_EQ(shown.at(6), QChar('a'));

    EXPECT_EQ(DecodeViewText("a\r\nb"), QString("a\r\nb"));
    EXPECT_EQ(DecodeViewDisplay("a\r\nb"), QString("a\nb"));
    EXPECT_EQ(DecodeViewDisplay("a\nb"), QString("a") + QChar(0x240A) + "\nb");
    EXPECT_EQ(DecodeViewDisplay("a\rb"), QString("a") + QChar(0x240D) + "\nb");
    // LF before CR LF and CR before CR LF keep their own lines.
    EXPECT_EQ(DecodeViewDisplay("\n\r\n"), QString(QChar(0x240A)) + "\n\n");
    EXPECT_EQ(DecodeViewDisplay("\r\r\n"), QString(QChar(0x240D)) + "\n\n");
    EXPECT_EQ(EncodeViewDisplay(QString(QChar(0x240D)) + "\n\n"), "\r\r\n");
}

TEST(ViewCodec, TypedTextBecomesCodePage936WithCrLf) {
    // A line break the user types is CR LF; a removed symbol leaves CR LF.
    EXPECT_EQ(EncodeViewDisplay(QString::fromUtf8("点1\n点2")),
              "\xB5\xE3"
              "1\r\n\xB5\xE3"
              "2");
    EXPECT_EQ(EncodeViewDisplay(QString("a\nb\n")), "a\r\nb\r\n");
    // Characters code page 936 cannot hold become one '?' each.
    EXPECT_EQ(EncodeViewText(QString::fromUtf8("a\U0001F600b\u0E01c")), "a?b?c");
    EXPECT_EQ(EncodeViewText(QString::fromUtf8("\u20AC")), "\x80");
    // A lone high surrogate is not a byte escape.
    EXPECT_EQ(EncodeViewText(QString(QChar(0xD800))), "?");
    // Pasted raw control characters keep their bytes.
    EXPECT_EQ(EncodeViewText(QString("\t\x01")), "\t\x01");
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

TEST(ViewCodec, MessagesConvertBothWays) {
    EXPECT_EQ(Utf8ToGbk("通讯超时!"), "\xCD\xA8\xD1\xB6\xB3\xAC\xCA\xB1!");
    EXPECT_EQ(GbkToUtf8("\xCD\xA8\xD1\xB6\xB3\xAC\xCA\xB1!"), "通讯超时!");
    EXPECT_EQ(GbkToUtf8("a\r\nb"), "a\r\nb");
}

TEST(ViewCodec, LargeTextRoundTrips) {
    std::string big;
    while (big.size() < (1u << 20))
        big +=
            "PT\xB5\xE3"
            "12,100.123,200.456,\x81\x20\r\n\n\r\x04";
    ExpectRoundTrip(big);
}
