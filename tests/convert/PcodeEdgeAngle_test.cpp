// PCODE lists and blocks in both directions, and the angle-and-distance records.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "convert/BlockFraming.h"
#include "convert/Converters.h"

namespace {

std::string Frame(const std::string& payload) {
    std::string out;
    FramePayload(payload, out);
    return out;
}

std::string Pad(std::string s, size_t width) {
    s.resize(width, ' ');
    return s;
}

std::string Record09(const std::string& tag, const std::string& name, const std::string& f1,
                     const std::string& f2, const std::string& f3, const std::string& f4,
                     const std::string& f5) {
    return tag + "  " + Pad(name, 14) + Pad(f1, 16) + Pad(f2, 16) + Pad(f3, 16) + Pad(f4, 16) +
           Pad(f5, 16) + "\r\n";
}

}  // namespace

TEST(BuildPcodeBlocks, PayloadPaddingAndFraming) {
    std::string out, message;
    ASSERT_TRUE(BuildPcodeBlocks("7,TREE\r\n", out, &message)) << message;
    const std::string block = "_:007TREE      _" + std::string(112, ' ');
    ASSERT_EQ(out.size(), 136u + 5u);
    EXPECT_EQ(out.substr(1, 128), block);
    EXPECT_EQ(out, Frame("_:007TREE      "));

    // Nine lines: 135 bytes, a full block and one of 7 bytes, "_", 120 spaces, number "1".
    std::string list;
    for (int i = 1; i <= 9; ++i) list += std::to_string(i * 11) + ",C" + std::to_string(i) + "\r\n";
    out.clear();
    ASSERT_TRUE(BuildPcodeBlocks(list, out, &message));
    ASSERT_EQ(out.size(), 2 * 136u + 5u);
    EXPECT_EQ(out.substr(1, 15), "_:011C1        ");
    // The last 7 bytes of "_:099C9" and its 8 spaces, then "_" and 120 spaces.
    EXPECT_EQ(out.substr(137, 128), std::string(7, ' ') + "_" + std::string(120, ' '));
    EXPECT_EQ(out[136 + 129], '1');
}

TEST(BuildPcodeBlocks, NumbersAndRefusals) {
    std::string out, message;
    ASSERT_TRUE(BuildPcodeBlocks("7,A\r\n12,B\r\n123,ABCDEFGHIJ\r\n", out, &message));
    EXPECT_EQ(out.substr(1, 45), "_:007A         _:012B         _:123ABCDEFGHIJ");
    out.clear();
    EXPECT_FALSE(BuildPcodeBlocks("1,A\r\n2,B,C\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的210 PCODE格式!");
    EXPECT_FALSE(BuildPcodeBlocks("", out, &message));
    EXPECT_EQ(message, "不是有效的210 PCODE格式!");
    EXPECT_FALSE(BuildPcodeBlocks("1,A\r\n1234,B\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的210 PCODE格式!\n第2行");
    EXPECT_FALSE(BuildPcodeBlocks(",A\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的210 PCODE格式!\n第1行");
    EXPECT_FALSE(BuildPcodeBlocks("1,A\r\n2,B\r\n3,ABCDEFGHIJK\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的210 PCODE格式!\n第3行");
    EXPECT_TRUE(out.empty());
    std::string big;
    for (int i = 0; i < 300000; ++i) big += "1,A\r\n";
    EXPECT_FALSE(BuildPcodeBlocks(big, out, &message));
    EXPECT_EQ(message, "内存分配失败!");
}

TEST(PcodeList, RawCodesBecomeAList) {
    std::vector<CodeRecord> table;
    const CConvertResult r = OnPcodeList(Frame("_:007TREE      _:012POLE      "), &table);
    ASSERT_TRUE(r.IsDone()) << r.m_message;
    EXPECT_EQ(r.m_text, "007,TREE      \r\n012,POLE      \r\n");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[1].Number(), "012");
    EXPECT_EQ(table[1].Code(), "POLE      ");
}

TEST(PcodeList, Messages) {
    const auto kind = [](const CConvertResult& r) { return r.m_kind; };
    EXPECT_EQ(OnPcodeList(" " + Frame("_:007TREE      ")).m_message, "无效原始编码格式!");
    EXPECT_EQ(OnPcodeList("").m_message, "无效原始编码格式!");
    EXPECT_EQ(OnPcodeList(std::string("\x02_:007TREE      \x04\x03\n")).m_message,
              "不是有效的原始编码格式!");
    std::string cut = Frame("_:007TREE      ");
    cut.resize(cut.size() - 5);
    EXPECT_EQ(kind(OnPcodeList(cut)), CConvertResult::EKind::kUnchanged);
    // A record cut off by the end of the payload keeps what is there.
    const CConvertResult r = OnPcodeList(std::string("\x02_:07T\x04\r\n"));
    ASSERT_TRUE(r.IsDone());
    EXPECT_EQ(r.m_text, "07T,          \r\n");
}

TEST(PcodeList, RoundTripKeepsEveryCodeAlsoAtBlockBoundaries) {
    for (int n : {1, 8, 9, 17, 18, 19, 35, 60, 200}) {
        std::string list;
        for (int i = 0; i < n; ++i) {
            char line[32];
            std::snprintf(line, sizeof line, "%03d,%-10s\r\n", (i * 7) % 1000,
                          ("C" + std::to_string(i)).c_str());
            list += line;
        }
        std::string blocks, message;
        ASSERT_TRUE(BuildPcodeBlocks(list, blocks, &message)) << n;
        std::vector<CodeRecord> table;
        const CConvertResult back = OnPcodeList(blocks, &table);
        ASSERT_TRUE(back.IsDone()) << n << back.m_message;
        // With 18 or more codes the framing splits a "_:"; none is lost.
        EXPECT_EQ(back.m_text, list) << n;
        EXPECT_EQ(table.size(), static_cast<size_t>(n));
    }
    // The 18th marker really is split in the framed text.
    std::string list;
    for (int i = 0; i < 18; ++i) list += "1,A\r\n";
    std::string blocks, message;
    ASSERT_TRUE(BuildPcodeBlocks(list, blocks, &message));
    EXPECT_EQ(CountRawCodeMarkers(blocks), 17);
}

TEST(EdgeAngle610, FieldsKeepOneTrailingSpace) {
    const std::string text =
        Record09("09F1", "P1", "90.1230", "88.5000", "123.456", "1.500", "CODE1") + "\x03";
    const CConvertResult r = OnTervEdgeAngle610(text);
    ASSERT_TRUE(r.IsDone());
    EXPECT_EQ(r.m_text, "90.1230 ,88.5000 ,123.456 ,1.500 ,CODE1 \r\n");
    // A blank fifth field: a single space and no comma.
    EXPECT_EQ(OnTervEdgeAngle610(
                  Record09("09F1", "P1", "90.1230", "88.5000", "123.456", "1.500", "") + "\x03")
                  .m_text,
              "90.1230 ,88.5000 ,123.456 ,1.500  \r\n");
    // A field filling its 16 characters is copied whole; the fifth keeps 14.
    EXPECT_EQ(
        OnTervEdgeAngle610(
            Record09("09F1", "P", "1234567890123456", "", "3", "4", "ABCDEFGHIJKLMNOP") + "\x03")
            .m_text,
        "1234567890123456, ,3 ,4 ,ABCDEFGHIJKLMN\r\n");
}

TEST(EdgeAngle610, PassOrderAndEarlyEnd) {
    const std::string f2 = Record09("09F2", "B", "2", "2", "2", "2", "");
    const std::string f1a = Record09("09F1", "A", "1", "1", "1", "1", "X");
    const std::string f1b = Record09("09F1", "C", "3", "3", "3", "3", "Y");
    EXPECT_EQ(OnTervEdgeAngle610(f2 + f1a + f1b + "END").m_text,
              "1 ,1 ,1 ,1 ,X \r\n3 ,3 ,3 ,3 ,Y \r\n2 ,2 ,2 ,2  \r\n");
    // The text ends with an 09F1 record: no 09F2 lines.
    EXPECT_EQ(OnTervEdgeAngle610(f2 + f1a + f1b).m_text, "1 ,1 ,1 ,1 ,X \r\n3 ,3 ,3 ,3 ,Y \r\n");
    // A record cut off by the end of the text reads only what is there.
    EXPECT_EQ(OnTervEdgeAngle610("09F1  P1            12.5").m_text, "12.5, , ,  \r\n");
}

TEST(EdgeAngle610, Messages) {
    EXPECT_EQ(OnTervEdgeAngle610("").m_message, "没有数据!");
    EXPECT_EQ(OnTervEdgeAngle610("08KI coordinates only\r\n").m_kind,
              CConvertResult::EKind::kUnchanged);
}
