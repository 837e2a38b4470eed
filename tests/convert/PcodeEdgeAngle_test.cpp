// PCODE lists and blocks in both directions, and the angle-and-distance records.
#include <cstdio>

#include "convert_support.h"

TEST(BuildPcodeBlocks, PayloadAndRefusals) {
    std::string out, message;
    ASSERT_TRUE(BuildPcodeBlocks("7,A\r\n12,B\r\n123,ABCDEFGHIJ\r\n", out, &message)) << message;
    EXPECT_EQ(out, Frame("_:007A         _:012B         _:123ABCDEFGHIJ"));
    out.clear();
    const std::pair<const char*, const char*> refused[] = {
        {"1,A\r\n2,B,C\r\n", "不是有效的210 PCODE格式!"},
        {"", "不是有效的210 PCODE格式!"},
        {"1,A\r\n1234,B\r\n", "不是有效的210 PCODE格式!\n第2行"},
        {",A\r\n", "不是有效的210 PCODE格式!\n第1行"},
        {"1,A\r\n2,B\r\n3,ABCDEFGHIJK\r\n", "不是有效的210 PCODE格式!\n第3行"}};
    for (const auto& [text, expected] : refused) {
        EXPECT_FALSE(BuildPcodeBlocks(text, out, &message));
        EXPECT_EQ(message, expected);
        EXPECT_TRUE(out.empty());
    }
    std::string big;
    for (int i = 0; i < 300000; ++i) big += "1,A\r\n";
    EXPECT_FALSE(BuildPcodeBlocks(big, out, &message));
    EXPECT_EQ(message, "内存分配失败!");
}

TEST(PcodeList, RawCodesBecomeAListMessagesAndRoundTrips) {
    std::vector<CodeRecord> table;
    EXPECT_EQ(OnPcodeList(Frame("_:007TREE      _:012POLE      "), &table).m_text,
              "007,TREE      \r\n012,POLE      \r\n");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(std::string(table[1].Number()) += table[1].Code(), "012POLE      ");
    EXPECT_EQ(OnPcodeList(" " + Frame("_:007TREE      ")).m_message, "无效原始编码格式!");
    EXPECT_EQ(OnPcodeList("\x02_:007TREE      \x04\x03\n").m_message, "不是有效的原始编码格式!");
    std::string cut = Frame("_:007TREE      ");
    cut.resize(cut.size() - 5);
    EXPECT_EQ(OnPcodeList(cut).m_kind, CConvertResult::EKind::kUnchanged);
    // A record cut off by the end of the payload keeps what is there.
    EXPECT_EQ(OnPcodeList("\x02_:07T\x04\r\n").m_text, "07T,          \r\n");
    // Round trips keep every code, also at block boundaries.
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
        std::vector<CodeRecord> read;
        // With 18 or more codes the framing splits a "_:"; none is lost.
        EXPECT_EQ(OnPcodeList(blocks, &read).m_text, list) << n;
        EXPECT_EQ(read.size(), static_cast<size_t>(n));
        if (n == 18) {
            EXPECT_EQ(CountRawCodeMarkers(blocks), 17) << "the 18th marker is split";
        }
    }
}

TEST(EdgeAngle610, FieldsAndEnds) {
    // The pass order and a blank fifth field are pinned by the samples.
    const auto f1 = [](const char* name, std::initializer_list<std::string> fields) {
        return Record("09F1", name, fields);
    };
    EXPECT_EQ(
        OnTervEdgeAngle610(f1("P1", {"90.1230", "88.5000", "123.456", "1.500", "CODE1"}) +
                           f1("P2", {"90.1230", "88.5000", "123.456", "1.500", ""}) +
                           f1("P", {"1234567890123456", "", "3", "4", "ABCDEFGHIJKLMNOP"}) + "\x03")
            .m_text,
        "90.1230 ,88.5000 ,123.456 ,1.500 ,CODE1 \r\n"
        "90.1230 ,88.5000 ,123.456 ,1.500  \r\n"         // a blank fifth field: no comma
        "1234567890123456, ,3 ,4 ,ABCDEFGHIJKLMN\r\n");  // full fields whole; fifth 14
    const std::string f2 = Record("09F2", "B", {"2", "2", "2", "2", ""});
    const std::string f1a = f1("A", {"1", "1", "1", "1", "X"});
    const std::string f1b = f1("C", {"3", "3", "3", "3", "Y"});
    // The text ends with an 09F1 record: no 09F2 lines.
    EXPECT_EQ(OnTervEdgeAngle610(f2 + f1a + f1b).m_text, "1 ,1 ,1 ,1 ,X \r\n3 ,3 ,3 ,3 ,Y \r\n");
    EXPECT_EQ(OnTervEdgeAngle610("09F1  P1            12.5").m_text, "12.5, , ,  \r\n");
    EXPECT_EQ(OnTervEdgeAngle610("").m_message, "没有数据!");
    EXPECT_EQ(OnTervEdgeAngle610("08KI coordinates only\r\n").m_kind,
              CConvertResult::EKind::kUnchanged);
}
