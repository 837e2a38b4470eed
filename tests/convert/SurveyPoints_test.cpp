// Survey points: every coordinate-bearing form read to the same points, each with
// the start of the line it came from.
#include "convert/SurveyPoints.h"

#include <cstdio>

#include "convert_support.h"

namespace {

// The form, then each point as name|code|e|n|z@line start, then the unread line starts.
std::string Read(const std::string& text) {
    const CSurveyPoints got = ReadSurveyPoints(text);
    std::string out(SurveyFormName(got.form));
    char number[64];
    for (const CSurveyPoint& p : got.points) {
        out += " " + p.name + "|" + p.code;
        for (double v : {p.e, p.n, p.z}) {
            std::snprintf(number, sizeof number, "|%.12g", v);
            out += number;
        }
        out += "@" + std::to_string(p.lineStart);
    }
    for (size_t start : got.unread) out += " unread@" + std::to_string(start);
    return out;
}

}  // namespace

TEST(SurveyPoints, EveryFormToPointsAndLineStarts) {
    const std::pair<std::string, std::string> cases[] = {
        // TERV210: blank lines skipped, a last line without CR LF read, padding trimmed.
        {"P1,TREE,512.345,-20.5,12.3456\r\n\r\n 点2 , ,1,2,3",
         "TERV210 P1|TREE|512.345|-20.5|12.3456@0 点2||1|2|3@33"},
        // Numbers with a sign, without whole digits or without a fraction.
        {"P,,.5,-.25,+3.\r\n", "TERV210 P||0.5|-0.25|3@0"},
        // TERV810 (name,E,N,Z,code): the order more lines read in wins.
        {"A,100.5,200.25,3,KERB\r\nB,1,2,3,\r\n", "TERV810 A|KERB|100.5|200.25|3@0 B||1|2|3@23"},
        // A line that is not a point is named, not dropped.
        {"P1,,1,2,3\r\nP2,,1,x,3\r\nP3,,4,5,6\r\n", "TERV210 P1||1|2|3@0 P3||4|5|6@22 unread@11"},
        // QMX610/710: every pass's records in text order, north before east in the
        // record, code "0" none; a last record of the text does not end the reading.
        {Record("08TP", "T1", {"1", "2", "3", "X"}) +
             Record("02TP", "S1", {"4", "5", "6", "", "B"}) +
             Record("08KI", "K1", {"7.5", "8", "-9", "0"}),
         "QMX610/710 T1|X|2|1|3@0 S1|B|5|4|6@86 K1||8|7.5|-9@188"},
        // A record cut off by the end of the text, and one with an empty value, are unread.
        {Record("08TP", "T1", {"1", "2", "3", "X"}) + "08KI  P1\r\n08TP  P2            12.5",
         "QMX610/710 T1|X|2|1|3@0 unread@86 unread@96"},
        // QMX210: a record without its "_ z" is unread, the others read; x is north.
        {Frame("_+P1_ x+000000001_ y+000000002" +
               Coord210("P2", "+000000004", "+000000005", "+000000006")),
         "QMX210 P2||0.005|0.004|0.006@0 unread@0"},
        // JVS measurement data: the first value north, the second east.
        {Frame("_+P1_ U+100250-20005+12_*TREE_,_+P2_ U-1500+0-7_*_,"),
         "JVS测量数据 P1|TREE|-20.005|100.25|0.012@0 P2||0|-1.5|-0.007@0"},
        // Texts without coordinates.
        {"", ""},
        {"1,TREE\r\n2,KERB\r\n", ""},
        {"\x02_+P1\r\n", ""},
        {OnDxfExport("P1,TREE,1,2,3\r\n").m_text, ""},
        {"a,b,c,d,e\r\n", ""},
    };
    for (const auto& [text, points] : cases) EXPECT_EQ(Read(text), points) << text.substr(0, 120);

    // QMX210 download: no code; a record in the second block starts the second
    // framed line; still arriving, the records there are, the one cut is unread.
    std::string payload, want = "QMX210";
    for (int i = 0; i < 4; ++i) {
        payload += Coord210("P" + std::to_string(i), "+000100250", "-000020005", "+000000012");
        want += " P" + std::to_string(i) + "||-20.005|100.25|0.012@" + (i < 3 ? "0" : "136");
    }
    const std::string framed = Frame(payload);
    EXPECT_EQ(Read(framed), want);
    EXPECT_EQ(Read(framed.substr(0, 136 + 1 + 25 + 40)),
              want.substr(0, want.rfind(" P3")) + " unread@136");

    // Line numbers of the notes: CR LF ends a line, a lone LF does not.
    EXPECT_EQ(SurveyLineNumber("a\r\nb\r\nc", 0), 1);
    EXPECT_EQ(SurveyLineNumber("a\r\nb\r\nc", 3), 2);
    EXPECT_EQ(SurveyLineNumber("a\r\nb\nc", 6), 2);
}
