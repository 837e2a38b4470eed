// Coordinate conversions: QMX210 downloads, QMX610/710 records, JVS measurement data
// and the TERV210 block encoder.
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

std::string Coord210(std::string name, const char* x, const char* y, const char* z) {
    name.resize(10, ' ');
    return "_+" + name + "_ x" + x + "_ y" + y + "_ z" + z;
}

void ExpectFailure(const CConvertResult& result, const std::string& message) {
    EXPECT_EQ(result.m_kind, CConvertResult::EKind::kFailed);
    EXPECT_EQ(result.m_message, message);
    EXPECT_TRUE(result.m_text.empty());
}

std::string Pad(std::string s, size_t width) {
    s.resize(width, ' ');
    return s;
}

// A QMX610/710 record line with its CR LF.
std::string Record610(const std::string& tag, const std::string& name, const std::string& north,
                      const std::string& east, const std::string& height, const std::string& code) {
    std::string line =
        tag + "  " + Pad(name, 14) + Pad(north, 16) + Pad(east, 16) + Pad(height, 16);
    if (tag == "02TP") line += Pad("9.999", 16);  // the field the conversion skips
    return line + Pad(code, 16) + "\r\n";
}

}  // namespace

TEST(TervCoords210, RecordBecomesALineWithXInTheNorthColumn) {
    const CConvertResult r =
        OnTervCoords210(Frame(Coord210("P1", "+000100250", "-000020005", "+000000012")));
    ASSERT_TRUE(r.IsDone()) << r.m_message;
    EXPECT_EQ(r.m_text, "P1        ,P1        ,-20.005,100.250,0.012\r\n");
}

TEST(TervCoords210, ManyRecordsAcrossBlocksKeepTheirOrder) {
    std::string payload, expected;
    for (int i = 0; i < 40; ++i) {
        char name[16], x[16], y[16], z[16], line[96];
        std::snprintf(name, sizeof name, "K%d", i);
        std::snprintf(x, sizeof x, "+%09d", 1000 * i + 7);
        std::snprintf(y, sizeof y, "-%09d", 500 * i);
        std::snprintf(z, sizeof z, "+%09d", i);
        payload += Coord210(name, x, y, z);
        std::snprintf(line, sizeof line, "%-10s,%-10s,%s%d.%03d,%d.%03d,0.%03d\r\n", name, name,
                      i ? "-" : "", i / 2, (500 * i) % 1000, i, 7, i);
        expected += line;
    }
    const CConvertResult r = OnTervCoords210(Frame(payload));
    ASSERT_TRUE(r.IsDone()) << r.m_message;
    EXPECT_EQ(r.m_text, expected);
}

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
    const CConvertResult r = OnTervCoords210(std::string("\x02_+P9_ x1_ y2_ z3\x04\r\n"));
    ASSERT_TRUE(r.IsDone());
    EXPECT_EQ(r.m_text, "P9_ x1_ y2,P9_ x1_ y2,0.002,0.001,0.003\r\n");
}

TEST(TervCoords610, PassOrderFieldsAndCodes) {
    const std::string text = Record610("08TP", "T1", "10.5", "20.5", "1.5", "TREE") +
                             Record610("02TP", "S1", "30.123", "40.456", "2.000", "POLE") +
                             Record610("08KI", "K1", "3000.001", "4000.002", "5.003", "0") +
                             Record610("08KI", "K2", "1", "2", "3", "WALL") + "END\r\n";
    const CConvertResult r = OnTervCoords610(text);
    ASSERT_TRUE(r.IsDone()) << r.m_message;
    EXPECT_EQ(r.m_text,
              "K1,,4000.002,3000.001,5.003\r\n"  // code "0" is no code
              "K2,WALL,2,1,3\r\n"
              "S1,POLE,40.456,30.123,2.000\r\n"  // the 02TP code sits 16 further on
              "T1,TREE,20.5,10.5,1.5\r\n");
    // Both menu items give the same list (one operation).
    EXPECT_EQ(OnTervCoords610(text).m_text, r.m_text);
}

TEST(TervCoords610, LastRecordEndsTheConversion) {
    // The text ends with an 08KI record: the later passes are not run.
    const std::string text = Record610("08TP", "T1", "1", "2", "3", "A") +
                             Record610("02TP", "S1", "4", "5", "6", "B") +
                             Record610("08KI", "K1", "7", "8", "9", "C");
    const CConvertResult r = OnTervCoords610(text);
    ASSERT_TRUE(r.IsDone());
    EXPECT_EQ(r.m_text, "K1,C,8,7,9\r\n");
    // One more byte after it and every pass runs.
    EXPECT_EQ(OnTervCoords610(text + "\x03").m_text, "K1,C,8,7,9\r\nS1,B,5,4,6\r\nT1,A,2,1,3\r\n");
}

TEST(TervCoords610, SearchStepsAndFieldEdges) {
    // A tag inside a record's first 78 characters is not a record of its own.
    const std::string text = Record610("08KI", "K1", "08KI", "2", "3", "C") +
                             Record610("08KI", "FULLNAME123456", "1234567890123456", "2", "3", "") +
                             "\x03";
    const CConvertResult r = OnTervCoords610(text);
    ASSERT_TRUE(r.IsDone());
    EXPECT_EQ(r.m_text, "K1,C,2,08KI,3\r\nFULLNAME123456,,2,1234567890123456,3\r\n");
    // A field that begins with a space is empty.
    EXPECT_EQ(OnTervCoords610(Record610("08KI", " K", "1", "2", "3", "C") + "\x03").m_text,
              ",C,2,1,3\r\n");
    // For 02TP the next search starts 94 characters on: a tag in its code is skipped.
    const std::string twice = Record610("02TP", "S1", "1", "2", "3", "xx02TP") +
                              Record610("02TP", "S2", "4", "5", "6", "D") + "\x03";
    EXPECT_EQ(OnTervCoords610(twice).m_text, "S1,xx02TP,2,1,3\r\nS2,D,5,4,6\r\n");
    // A record cut off by the end of the text gives what is there, nothing more.
    EXPECT_EQ(OnTervCoords610("08KI  P1            12.5").m_text, "P1,,,12.5,\r\n");
    // A short record never reads into the next line.
    EXPECT_EQ(OnTervCoords610("08KI  P1\r\n" + Record610("08TP", "T", "1", "2", "3", "X") + "\x03")
                  .m_text,
              "P1,,,,\r\nT,X,2,1,3\r\n");
}

TEST(TervCoords610, Messages) {
    ExpectFailure(OnTervCoords610(""), "没有数据!");
    ExpectFailure(OnTervCoords610("09F1 only angle records\r\n"), "没有坐标数据!");
}

TEST(TervMeasurement210, RecordsSkipsAndCuts) {
    const std::string payload =
        "_+P1_ U+100250-20005+12_*TREE_,"
        "_+STATIONWITHNAME_ U+1+2+3_*X_,"  // "_ U" 16 or more after "_+": no coordinates
        "_+P2_ U-1500+0-7_*_,"
        "_+U*,_ U+1+2+3_*,*_,"  // tag characters inside names and codes
        "_+P3_ U+1+2+3_*CUT";   // cut off by the end of the data
    const CConvertResult r = OnTervMeasurement210(Frame(payload));
    ASSERT_TRUE(r.IsDone()) << r.m_message;
    EXPECT_EQ(r.m_text,
              "P1,TREE,-20.005,100.250,0.012\r\n"
              "P2,,0.000,-1.500,-0.007\r\n"
              "U*,,,*,0.002,0.001,0.003\r\n");
}

TEST(TervMeasurement210, ManyRecordsWithoutCoordinatesAreReadOnce) {
    // 100 000 starts and one "_ U" at the far end: every start must not search anew.
    std::string payload;
    for (int i = 0; i < 100000; ++i) payload += "_+";
    payload += "_+P9_ U+1+2+3_*C_,";
    const CConvertResult r = OnTervMeasurement210(Frame(payload));
    ASSERT_TRUE(r.IsDone());
    // The starts less than 16 characters before "_ U" take its values, as any record would.
    EXPECT_EQ(r.m_text,
              "_+_+_+_+_+P9,C,0.002,0.001,0.003\r\n_+_+_+_+P9,C,0.002,0.001,0.003\r\n"
              "_+_+_+P9,C,0.002,0.001,0.003\r\n_+_+P9,C,0.002,0.001,0.003\r\n"
              "_+P9,C,0.002,0.001,0.003\r\nP9,C,0.002,0.001,0.003\r\n");
}

TEST(TervMeasurement210, Messages) {
    ExpectFailure(OnTervMeasurement210(""), "没有数据!");
    ExpectFailure(OnTervMeasurement210("_+P1_ U+1+2+3_*C_,\r\n"), "文件格式不正确!");
    ExpectFailure(OnTervMeasurement210("\x02nothing\r\n"), "转换失败!");
    ExpectFailure(OnTervMeasurement210("\x02_+P1_ U+1+2+3_*C_,"), "不是有效的JVS测量数据格式!");
    // No complete record: nothing changes and nothing is said.
    EXPECT_EQ(OnTervMeasurement210(Frame("_+P1 without values")).m_kind,
              CConvertResult::EKind::kUnchanged);
}

TEST(BuildCoordBlocks, RecordLayoutAndValueEncoding) {
    std::string out = "HEAD";
    std::string message;
    ASSERT_TRUE(BuildCoordBlocks("P1,,-20.005,100.25,0.012\r\n", out, &message)) << message;
    EXPECT_EQ(out, "HEAD" + Frame("_+P1        _ x-000020005_ y+000100250_ z+000000012"));

    const auto encoded = [](const std::string& value) {
        std::string blocks, msg;
        EXPECT_TRUE(BuildCoordBlocks("P,," + value + ",0,0\r\n", blocks, &msg)) << value << msg;
        return blocks.substr(1 + 15, 10);
    };
    EXPECT_EQ(encoded("-0.5"), "-000000500");
    EXPECT_EQ(encoded("7"), "+000007000");
    EXPECT_EQ(encoded("12.5"), "+000012500");
    EXPECT_EQ(encoded("1.23456"), "+000001234");  // millimetres are the first three decimals
    EXPECT_EQ(encoded("999999.999"), "+999999999");
    EXPECT_EQ(encoded("-0.0"), "+000000000");
    EXPECT_EQ(encoded("0012.000"), "+000012000");
    EXPECT_EQ(encoded(" 3.1 "), "+000003100");
}

TEST(BuildCoordBlocks, RefusesWhatDoesNotFitTheRecord) {
    std::string out, message;
    EXPECT_FALSE(BuildCoordBlocks("not a list\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的TERV210格式!");
    EXPECT_FALSE(BuildCoordBlocks("P1,,1,2,3\r\nNAME567890X,,1,2,3\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的TERV210格式!\n第2行");
    EXPECT_FALSE(BuildCoordBlocks("P1,,1000000.0,2,3\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的TERV210格式!\n第1行");
    EXPECT_FALSE(BuildCoordBlocks("P1,,1,abc,3\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的TERV210格式!\n第1行");
    // Lines that the cumulative count lets through are still checked one by one.
    EXPECT_FALSE(BuildCoordBlocks("P1,,1,2,3,4\r\nP2,,1,2\r\n", out, &message));
    EXPECT_EQ(message, "不是有效的TERV210格式!\n第1行");
    EXPECT_TRUE(out.empty());
    // A text whose blocks would not fit the working buffer.
    std::string big;
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
        std::snprintf(line, sizeof line, "%-10s,%-10s,-%d.500,%d.%03d,%d.250\r\n",
                      ("Q" + std::to_string(i)).c_str(), ("Q" + std::to_string(i)).c_str(), i,
                      1000 + i, i, i);
        expected += line;
    }
    std::string blocks, message;
    ASSERT_TRUE(BuildCoordBlocks(list, blocks, &message)) << message;
    // The encoder writes east as x; the download reads x into the north column.
    const CConvertResult back = OnTervCoords210(blocks);
    ASSERT_TRUE(back.IsDone()) << back.m_message;
    EXPECT_EQ(back.m_text, expected);

    const CConvertResult shown = OnShowCoordBlocks210(list);
    ASSERT_TRUE(shown.IsDone());
    EXPECT_EQ(shown.m_text, blocks);
    ExpectFailure(OnShowCoordBlocks210(""), "没有数据!");
    ExpectFailure(OnShowCoordBlocks210("x"), "不是有效的TERV210格式!");
}
