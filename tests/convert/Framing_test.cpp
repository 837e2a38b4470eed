// QMX210 block framing: block layout, padding, numbering, checksums and unframing.
#include <random>

#include "convert_support.h"

namespace {

// The payload, number and checksum of block `i` of a framed text.
std::string BlockAt(const std::string& framed, size_t i) {
    const size_t at = i * 136;
    EXPECT_EQ(framed[at], '\x02');
    EXPECT_EQ(framed.substr(at + 133, 3), "\x03\r\n");
    return framed.substr(at + 1, 132);
}

}  // namespace

TEST(Framing, PaddingBlockNumbersAndChecksums) {
    const std::string end("\x02\x04\x03\r\n", 5);
    // A lone letter: "_" and spaces, number 0, checksum 0x41 ^ 0x5F ^ 0x30.
    EXPECT_EQ(Frame("A"), "\002A_" + std::string(126, ' ') + "0046\x03\r\n" + end);
    // 127 bytes end with "_"; 128 and 256 need no padding block; 129 spill one byte.
    const struct {
        size_t length;
        size_t blocks;
        std::string last;
    } cases[] = {{127, 1, std::string(127, 'z') + "_"},
                 {128, 1, std::string(128, 'z')},
                 {129, 2, "z_" + std::string(126, ' ')},
                 {256, 2, std::string(128, 'z')}};
    for (const auto& c : cases) {
        const std::string framed = Frame(std::string(c.length, 'z'));
        ASSERT_EQ(framed.size(), c.blocks * 136 + 5) << c.length;
        EXPECT_EQ(FramedSize(c.length), framed.size());
        EXPECT_EQ(BlockAt(framed, c.blocks - 1).substr(0, 128), c.last) << c.length;
        EXPECT_EQ(framed.substr(c.blocks * 136), end);
    }
    const std::string framed = Frame(std::string(128 * 12 + 5, 'k'));
    for (size_t i = 0; i < 13; ++i) EXPECT_EQ(BlockAt(framed, i)[128], "0123456789012"[i]) << i;
    // Bytes >= 0x80 count as negative: 0x80 ^ '_' ^ (spaces cancel) ^ '0' = -17.
    EXPECT_EQ(BlockAt(Frame("\x80"), 0).substr(129), "-17");
    const std::pair<int, const char*> sums[] = {
        {0xFB, "-05"},
        {0x80, "-12"} /* -128 does not fit: the field keeps "-12" */,
        {0x7F, "127"},
        {0x30, "048"}};
    for (const auto& [sum, text] : sums) {
        std::string block(128, '\0');
        block[0] = static_cast<char>(sum ^ 0x30);
        EXPECT_EQ(BlockChecksum(block.data(), '0'), static_cast<signed char>(sum));
        EXPECT_EQ(BlockAt(Frame(block), 0).substr(129), text);
    }
    // A later block counts its own number.
    std::string block(128, '\0');
    block[0] = static_cast<char>(0xC2 ^ 0x31);
    EXPECT_EQ(BlockAt(Frame(std::string(128, '\0') + block), 1).substr(129), "-62");
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
        EXPECT_EQ(back, payload + (pad ? "_" + std::string(pad - 1, ' ') : "")) << length;
    }
    std::string framed = Frame("_:007TREE      "), payload;
    framed.resize(framed.size() - 5);  // without the end frame nothing is given
    EXPECT_FALSE(UnframeBlocks(framed, payload));
    // A lone ETX at the start never takes back more than there is.
    EXPECT_FALSE(UnframeBlocks(std::string("\x02\x03", 2), payload));
    EXPECT_TRUE(payload.empty());
    EXPECT_TRUE(UnframeBlocks("\002ab\x04", payload));
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
    UnframeMeasurementBlocks("\002abcdefg\003\002ab\003cd", payload);
    EXPECT_EQ(payload, "abccd");
    // A full last block keeps all its bytes although the end frame follows.
    const std::string full(128, 'q');
    UnframeMeasurementBlocks("\x02" + full + "0123\x03\r\n\x02\x04\x03\r\n", payload);
    EXPECT_EQ(payload, full);
}
