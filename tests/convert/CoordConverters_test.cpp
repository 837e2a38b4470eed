// Coordinate conversions: QMX210 downloads, QMX610/710 records, JVS measurement data
// and the TERV210 block encoder.
#include <cstdio>

#include "convert_support.h"

TEST(TervCoords210, MessagesAndQuietEnd) {
    ExpectFailure(OnTervCoords210(""), "没有数据!");
    ExpectFailure(OnTervCoords210("_+P1\r\n"), "文件格式不正确!");
    ExpectFailure(OnTervCoords210("\x02no records\r\n"), "转换失败!");
    ExpectFailure(OnTervCoords210("\x02_+P1 _ x+000000001"), "不是有效的JVS坐标格式!");
    // Without the end frame the conversion ends quietly.
    std::string cut = Frame(Coord210("P1", "+000000001", "+000000002", "+000000003"));
    cut.resize(cut.size() - 5);
    EXPECT_EQ(OnTervCoords210(cut).m_kind, CConvertResult::EKind::kUnchanged);
    // A record without "_ z" does not borrow the next record's height.
    const std::string broken = "_+P1        _ x+000000001_ y+000000002" +
                               Coord210("P2", "+000000004", "+000000005", "+000000006");
    ExpectFailure(OnTervCoords210(Frame(broken)), "转换失败!\n第1个点");
    // A name cut off by the end of the payload is taken as far as it goes.
    EXPECT_EQ(OnTervCoords210("\x02_+P9_ x1_ y2_ z3\x04\r\n").m_text,
              "P9_ x1_ y2,P9_ x1_ y2,0.002,0.001,0.003\r\n");
}

TEST(TervCoords610, PassOrderFieldsAndEdges) {
    // The pass order, code "0" and the 02TP code are pinned by the samples.
    // A text that ends with an 08KI record stops after the first pass.
    const std::string k1 = Record("08KI", "K1", {"7", "8", "9", "C"});
    const std::string s1 = Record("02TP", "S1", {"4", "5", "6", "", "B"});
    EXPECT_EQ(OnTervCoords610(s1 + k1).m_text, "K1,C,8,7,9\r\n");
    EXPECT_EQ(OnTervCoords610(s1 + k1 + "\x03").m_text, "K1,C,8,7,9\r\nS1,B,5,4,6\r\n");
    // A tag inside a record is not a record of its own; full fields are whole.
    EXPECT_EQ(OnTervCoords610(Record("08KI", "K1", {"08KI", "2", "3", "C"}) +
                              Record("08KI", "FULLNAME123456", {"1234567890123456", "2", "3", ""}) +
                              Record("08KI", " K", {"1", "2", "3", "C"}) + "\x03")
                  .m_text,
              "K1,C,2,08KI,3\r\nFULLNAME123456,,2,1234567890123456,3\r\n,C,2,1,3\r\n");
    // For 02TP the next search starts 94 characters on: a tag in its code is skipped.
    EXPECT_EQ(OnTervCoords610(Record("02TP", "S1", {"1", "2", "3", "", "xx02TP"}) +
                              Record("02TP", "S2", {"4", "5", "6", "", "D"}) + "\x03")
                  .m_text,
              "S1,xx02TP,2,1,3\r\nS2,D,5,4,6\r\n");
    // A cut record gives what is there; a short one never reads into the next line.
    EXPECT_EQ(OnTervCoords610("08KI  P1            12.5").m_text, "P1,,,12.5,\r\n");
    EXPECT_EQ(
        OnTervCoords610("08KI  P1\r\n" + Record("08TP", "T", {"1", "2", "3", "X"}) + "\x03").m_text,
        "P1,,,,\r\nT,X,2,1,3\r\n");
    ExpectFailure(OnTervCoords610(""), "没有数据!");
    ExpectFailure(OnTervCoords610("09F1 only angle records\r\n"), "没有坐标数据!");
}

TEST(TervMeasurement210, RecordsSkipsCutsAndMessages) {
    const std::string payload =
        "_+P1_ U+100250-20005+12_*TREE_,"
        "_+STATIONWITHNAME_ U+1+2+3_*X_,"  // "_ U" 16 or more after "_+": no coordinates
        "_+P2_ U-1500+0-7_*_,"
        "_+U*,_ U+1+2+3_*,*_,"  // tag characters inside names and codes
        "_+P3_ U+1+2+3_*CUT";   // cut off by the end of the data
    EXPECT_EQ(OnTervMeasurement210(Frame(payload)).m_text,
              "P1,TREE,-20.005,100.250,0.012\r\n"
              "P2,,0.000,-1.500,-0.007\r\n"
              "U*,,,*,0.002,0.001,0.003\r\n");
    ExpectFailure(OnTervMeasurement210(""), "没有数据!");
    ExpectFailure(OnTervMeasurement210("_+P1_ U+1+2+3_*C_,\r\n"), "文件格式不正确!");
    ExpectFailure(OnTervMeasurement210("\x02nothing\r\n"), "转换失败!");
    ExpectFailure(OnTervMeasurement210("\x02_+P1_ U+1+2+3_*C_,"), "不是有效的JVS测量数据格式!");
    EXPECT_EQ(OnTervMeasurement210(Frame("_+P1 without values")).m_kind,
              CConvertResult::EKind::kUnchanged);
    // 100 000 starts and one "_ U" at the far end: every start must not search anew.
    std::string starts;
    for (int i = 0; i < 100000; ++i) starts += "_+";
    starts += "_+P9_ U+1+2+3_*C_,";
    // The starts less than 16 characters before "_ U" take its values, as any record would.
    EXPECT_EQ(OnTervMeasurement210(Frame(starts)).m_text,
              "_+_+_+_+_+P9,C,0.002,0.001,0.003\r\n_+_+_+_+P9,C,0.002,0.001,0.003\r\n"
              "_+_+_+P9,C,0.002,0.001,0.003\r\n_+_+P9,C,0.002,0.001,0.003\r\n"
              "_+P9,C,0.002,0.001,0.003\r\nP9,C,0.002,0.001,0.003\r\n");
}

TEST(BuildCoordBlocks, RecordLayoutAndValueEncoding) {
    std::string out = "HEAD", message;
    ASSERT_TRUE(BuildCoordBlocks("P1,,-20.005,100.25,0.012\r\n", out, &message)) << message;
    EXPECT_EQ(out, "HEAD" + Frame("_+P1        _ x-000020005_ y+000100250_ z+000000012"));
    const std::pair<const char*, const char*> values[] = {
        {"-0.5", "-000000500"},       {"7", "+000007000"},
        {"1.23456", "+000001234"},  // millimetres are the first three decimals
        {"999999.999", "+999999999"}, {"-0.0", "+000000000"},
        {" 3.1 ", "+000003100"}};
    for (const auto& [value, encoded] : values) {
        std::string blocks;
        ASSERT_TRUE(BuildCoordBlocks(std::string("P,,") + value + ",0,0\r\n", blocks, &message));
        EXPECT_EQ(blocks.substr(1 + 15, 10), encoded) << value;
    }
}

TEST(BuildCoordBlocks, RefusesWhatDoesNotFitTheRecord) {
    const std::pair<const char*, const char*> refused[] = {
        {"not a list\r\n", "不是有效的TERV210格式!\n第1行"},
        {"P1,,1,2,3\r\nNAME567890X,,1,2,3\r\n", "不是有效的TERV210格式!\n第2行"},
        {"P1,,1000000.0,2,3\r\n", "不是有效的TERV210格式!\n第1行"},
        {"P1,,1,abc,3\r\n", "不是有效的TERV210格式!\n第1行"},
        // Lines the cumulative count lets through are still checked one by one.
        {"P1,,1,2,3,4\r\nP2,,1,2\r\n", "不是有效的TERV210格式!\n第1行"}};
    std::string out, message;
    for (const auto& [text, expected] : refused) {
        EXPECT_FALSE(BuildCoordBlocks(text, out, &message));
        EXPECT_EQ(message, expected);
        EXPECT_TRUE(out.empty());
    }
    std::string big;  // blocks that would not fit the working buffer
    for (int i = 0; i < 80000; ++i) big += "P,,1,2,3\r\n";
    EXPECT_FALSE(BuildCoordBlocks(big, out, &message));
    EXPECT_EQ(message, "内存分配失败!");
    EXPECT_TRUE(out.empty());
    // Ten-character names fit exactly; the last line needs no CR LF.
    EXPECT_TRUE(BuildCoordBlocks("NAME567890,,1,2,3\r\nLAST,,4,5,6", out, &message)) << message;
    EXPECT_NE(out.find("_+LAST      _ x+000004000"), std::string::npos);
}

TEST(BuildCoordBlocks, RoundTripThroughTheDownloadSwapsEastAndNorth) {
    std::string list, expected;
    for (int i = 1; i <= 30; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "Q%d,CODE,%d.%03d,-%d.5,%d.25\r\n", i, 1000 + i, i, i, i);
        list += line;
        const std::string name = Pad("Q" + std::to_string(i), 10);
        std::snprintf(line, sizeof line, "%s,%s,-%d.500,%d.%03d,%d.250\r\n", name.c_str(),
                      name.c_str(), i, 1000 + i, i, i);
        expected += line;
    }
    std::string blocks, message;
    ASSERT_TRUE(BuildCoordBlocks(list, blocks, &message)) << message;
    // The encoder writes east as x; the download reads x into the north column.
    EXPECT_EQ(OnTervCoords210(blocks).m_text, expected);
    EXPECT_EQ(OnShowCoordBlocks210(list).m_text, blocks);
    ExpectFailure(OnShowCoordBlocks210(""), "没有数据!");
    ExpectFailure(OnShowCoordBlocks210("x"), "不是有效的TERV210格式!\n第1行");
}
