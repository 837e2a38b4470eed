// QMX210 block framing: block layout, padding, numbering, checksums and unframing.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "convert/BlockFraming.h"

namespace {

std::string Frame(const std::string& payload) {
    std::string out;
    FramePayload(payload, out);
    return out;
}

// The fixed parts of block `i` of a framed text.
struct Block {
    std::string payload;
    char number;
    std::string checksum;
};

Block BlockAt(const std::string& framed, size_t i) {
    const size_t at = i * 136;
    EXPECT_EQ(framed[at], '\x02');
    EXPECT_EQ(framed[at + 133], '\x03') << "ETX after the three checksum characters";
    EXPECT_EQ(framed.substr(at + 134, 2), "\r\n");
    return {framed.substr(at + 1, 128), framed[at + 129], framed.substr(at + 130, 3)};
}

const std::string kEnd = std::string("\x02\x04\x03\r\n", 5);

}  // namespace

TEST(Framing, SingleLetterIsPaddedWithUnderscoreAndSpaces) {
    const std::string framed = Frame("A");
    ASSERT_EQ(framed.size(), 136u + 5u);
    const Block b = BlockAt(framed, 0);
    EXPECT_EQ(b.payload, "A_" + std::string(126, ' '));
    EXPECT_EQ(b.number, '0');
    EXPECT_EQ(b.checksum, "046");  // 0x41 ^ 0x5F ^ 0x30
    EXPECT_EQ(framed.substr(136), kEnd);
}

TEST(Framing, BlockBoundaries) {
    // Exactly 128 bytes: one full block, no "_".
    std::string p128(128, 'x');
    std::string framed = Frame(p128);
    ASSERT_EQ(framed.size(), 136u + 5u);
    EXPECT_EQ(BlockAt(framed, 0).payload, p128);
    EXPECT_EQ(framed.substr(136), kEnd);

    // 129 bytes: a full block and a block of one byte, "_" and 126 spaces.
    std::string p129 = p128 + "y";
    framed = Frame(p129);
    ASSERT_EQ(framed.size(), 2 * 136u + 5u);
    EXPECT_EQ(BlockAt(framed, 0).number, '0');
    const Block second = BlockAt(framed, 1);
    EXPECT_EQ(second.payload, "y_" + std::string(126, ' '));
    EXPECT_EQ(second.number, '1');

    // 127 bytes: "_" is the last payload byte, no spaces.
    framed = Frame(std::string(127, 'z'));
    EXPECT_EQ(BlockAt(framed, 0).payload, std::string(127, 'z') + "_");

    // 256 bytes: two full blocks, no padding block.
    framed = Frame(std::string(256, 'w'));
    ASSERT_EQ(framed.size(), 2 * 136u + 5u);
    EXPECT_EQ(FramedSize(256), framed.size());
    EXPECT_EQ(FramedSize(129), 2 * 136u + 5u);
    EXPECT_EQ(FramedSize(1), 136u + 5u);
}

TEST(Framing, BlockNumbersWrapAfterNine) {
    const std::string framed = Frame(std::string(128 * 12 + 5, 'k'));
    ASSERT_EQ(framed.size(), 13 * 136u + 5u);
    const std::string expected = "0123456789012";
    for (size_t i = 0; i < 13; ++i) EXPECT_EQ(BlockAt(framed, i).number, expected[i]) << i;
}

TEST(Framing, ChecksumsIncludingNegativeValues) {
    // Bytes >= 0x80 count as negative: 0x80 ^ '_' ^ (spaces cancel) ^ '0' = -17.
    std::string framed = Frame("\x80");
    EXPECT_EQ(BlockAt(framed, 0).checksum, "-17");

    // A sum of -5 is written "-05".
    std::string block(128, '\0');
    block[0] = static_cast<char>(0xFB ^ 0x30);  // (0xCB) ^ '0' = 0xFB = -5
    EXPECT_EQ(BlockChecksum(block.data(), '0'), -5);
    framed = Frame(block);
    EXPECT_EQ(BlockAt(framed, 0).checksum, "-05");

    // -128 does not fit: the field keeps "-12" and ETX still follows.
    block[0] = static_cast<char>(0xB0);
    EXPECT_EQ(BlockChecksum(block.data(), '0'), -128);
    framed = Frame(block);
    EXPECT_EQ(BlockAt(framed, 0).checksum, "-12");

    // Two-digit negative value and a positive one in a later block.
    block[0] = static_cast<char>(0xC2 ^ 0x31);  // -62 with block number '1'
    framed = Frame(std::string(128, '\0') + block);
    EXPECT_EQ(BlockAt(framed, 0).checksum, "048");  // all zero bytes ^ '0'
    EXPECT_EQ(BlockAt(framed, 1).checksum, "-62");

    // The largest positive value, 127.
    block.assign(128, '\0');
    block[0] = static_cast<char>(0x7F ^ 0x30);
    EXPECT_EQ(BlockAt(Frame(block), 0).checksum, "127");

    char out[3];
    FormatChecksum(-99, out);
    EXPECT_EQ(std::string(out, 3), "-99");
    FormatChecksum(-100, out);
    EXPECT_EQ(std::string(out, 3), "-10");
    FormatChecksum(7, out);
    EXPECT_EQ(std::string(out, 3), "007");
}

TEST(Framing, UnframeGivesThePayloadBackForAnyLength) {
    std::mt19937 random(42);
    for (size_t length : {1u, 2u, 127u, 128u, 129u, 255u, 256u, 257u, 1280u, 1290u, 5000u}) {
        std::string payload(length, '\0');
        for (char& c : payload) {
            // Anything but the control bytes the framing itself uses.
            do c = static_cast<char>(random());
            while (c >= 2 && c <= 4);
        }
        std::string back;
        ASSERT_TRUE(UnframeBlocks(Frame(payload), back)) << length;
        const size_t pad = length % 128 == 0 ? 0 : 128 - length % 128;
        ASSERT_EQ(back.size(), length + pad) << length;
        EXPECT_EQ(back.substr(0, length), payload) << length;
        if (pad) {
            EXPECT_EQ(back.substr(length), "_" + std::string(pad - 1, ' '));
        }
    }
}

TEST(Framing, UnframeWithoutEotYieldsNothing) {
    std::string framed = Frame("_:007TREE      ");
    framed.resize(framed.size() - 5);  // without the end frame
    std::string payload;
    EXPECT_FALSE(UnframeBlocks(framed, payload));
    // A lone ETX at the start never takes back more than there is.
    EXPECT_FALSE(UnframeBlocks(std::string("\x02\x03", 2), payload));
    EXPECT_TRUE(payload.empty());
    EXPECT_TRUE(UnframeBlocks(std::string("\x02"
                                          "ab\x04",
                                          4),
                              payload));
    EXPECT_EQ(payload, "ab");
}

TEST(Framing, MeasurementUnframingKeepsEotAndDropsLineEnds) {
    // Two blocks as the instrument sends them: number and checksum before ETX.
    const std::string framed = std::string("\x02") + "_+P1_ U+1-2+3" + "0046" + "\x03\r\n" +
                               "\x02" + "_*C_," + "1123" + "\x03\r\n" + "\x02\x04\x03\r\n";
    std::string payload;
    UnframeMeasurementBlocks(framed, payload);
    // The end frame's ETX takes back only its own EOT, never the last record's bytes.
    EXPECT_EQ(payload, "_+P1_ U+1-2+3_*C_,");
    // An ETX takes back only what its own block brought.
    UnframeMeasurementBlocks(std::string("\x02"
                                         "abcdefg\x03\x02"
                                         "ab\x03"
                                         "cd",
                                         15),
                             payload);
    EXPECT_EQ(payload, "abccd");
    // A full last block keeps all its bytes although the end frame follows.
    const std::string full(128, 'q');
    UnframeMeasurementBlocks("\x02" + full + "0123\x03\r\n\x02\x04\x03\r\n", payload);
    EXPECT_EQ(payload, full);
}
