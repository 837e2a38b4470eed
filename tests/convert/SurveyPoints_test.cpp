// Survey points: every coordinate-bearing form read to the same points, each with
// the start of the line it came from.
#include "convert/SurveyPoints.h"

#include "convert_support.h"

namespace {

struct CWant {
    std::string name, code;
    double e, n, z;
    size_t lineStart;
};

void ExpectPoints(const std::string& text, ESurveyForm form, const std::vector<CWant>& want,
                  const std::vector<size_t>& unread = {}) {
    SCOPED_TRACE(::testing::PrintToString(text.substr(0, 120)));
    const CSurveyPoints got = ReadSurveyPoints(text);
    EXPECT_EQ(got.form, form);
    EXPECT_EQ(got.unread, unread);
    ASSERT_EQ(got.points.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const CSurveyPoint& p = got.points[i];
        EXPECT_EQ(p.name, want[i].name) << i;
        EXPECT_EQ(p.code, want[i].code) << i;
        EXPECT_DOUBLE_EQ(p.e, want[i].e) << i;
        EXPECT_DOUBLE_EQ(p.n, want[i].n) << i;
        EXPECT_DOUBLE_EQ(p.z, want[i].z) << i;
        EXPECT_EQ(p.lineStart, want[i].lineStart) << i;
    }
}

}  // namespace

TEST(SurveyPoints, EveryFormToPointsAndLineStarts) {
    // TERV210: blank lines skipped, a last line without CR LF read, padding trimmed.
    ExpectPoints("P1,TREE,512.345,-20.5,12.3456\r\n\r\n 点2 , ,1,2,3", ESurveyForm::kTerv210,
                 {{"P1", "TREE", 512.345, -20.5, 12.3456, 0}, {"点2", "", 1, 2, 3, 33}});
    // Numbers with a sign, without whole digits or without a fraction.
    ExpectPoints("P,,.5,-.25,+3.\r\n", ESurveyForm::kTerv210, {{"P", "", 0.5, -0.25, 3, 0}});
    // TERV810 (name,E,N,Z,code): the order more lines read in wins.
    ExpectPoints("A,100.5,200.25,3,KERB\r\nB,1,2,3,\r\n", ESurveyForm::kTerv810,
                 {{"A", "KERB", 100.5, 200.25, 3, 0}, {"B", "", 1, 2, 3, 23}});
    // A line that is not a point is named, not dropped.
    ExpectPoints("P1,,1,2,3\r\nP2,,1,x,3\r\nP3,,4,5,6\r\n", ESurveyForm::kTerv210,
                 {{"P1", "", 1, 2, 3, 0}, {"P3", "", 4, 5, 6, 22}}, {11});

    // QMX610/710: every pass's records in text order, north before east in the record,
    // code "0" none; a last record of the text does not end the reading.
    const std::string t1 = Record("08TP", "T1", {"1", "2", "3", "X"});
    const std::string s1 = Record("02TP", "S1", {"4", "5", "6", "", "B"});
    const std::string k1 = Record("08KI", "K1", {"7.5", "8", "-9", "0"});
    ExpectPoints(t1 + s1 + k1, ESurveyForm::kQmx610,
                 {{"T1", "X", 2, 1, 3, 0},
                  {"S1", "B", 5, 4, 6, t1.size()},
                  {"K1", "", 8, 7.5, -9, t1.size() + s1.size()}});
    // A record cut off by the end of the text, and one with an empty value, are unread.
    ExpectPoints(t1 + "08KI  P1\r\n" + "08TP  P2            12.5", ESurveyForm::kQmx610,
                 {{"T1", "X", 2, 1, 3, 0}}, {t1.size(), t1.size() + 10});

    // QMX210 download: x is north, y east; no code; a record in the second block
    // starts the second framed line.
    std::string payload;
    for (int i = 0; i < 4; ++i)
        payload += Coord210("P" + std::to_string(i), "+000100250", "-000020005", "+000000012");
    std::vector<CWant> want;
    for (int i = 0; i < 4; ++i)
        want.push_back({"P" + std::to_string(i), "", -20.005, 100.25, 0.012, i < 3 ? 0u : 136u});
    const std::string framed = Frame(payload);
    ExpectPoints(framed, ESurveyForm::kQmx210, want);
    // Still arriving: the records there are; the one whose height is cut is unread.
    ExpectPoints(framed.substr(0, 136 + 1 + 25 + 40), ESurveyForm::kQmx210,
                 {want.begin(), want.begin() + 3}, {136});
    // A record without its "_ z" is unread, the others read.
    ExpectPoints(Frame("_+P1_ x+000000001_ y+000000002" +
                       Coord210("P2", "+000000004", "+000000005", "+000000006")),
                 ESurveyForm::kQmx210, {{"P2", "", 0.005, 0.004, 0.006, 0}}, {0});

    // JVS measurement data: the first value north, the second east.
    ExpectPoints(Frame("_+P1_ U+100250-20005+12_*TREE_,_+P2_ U-1500+0-7_*_,"),
                 ESurveyForm::kJvsMeasure,
                 {{"P1", "TREE", -20.005, 100.25, 0.012, 0}, {"P2", "", 0, -1.5, -0.007, 0}});

    // Texts without coordinates.
    for (const std::string& none :
         {std::string(), std::string("hello\r\n"), std::string("1,TREE\r\n2,KERB\r\n"),
          std::string("\x02nothing\r\n"), std::string("\x02_+P1\r\n"),
          OnDxfExport("P1,TREE,1,2,3\r\n").m_text, std::string("a,b,c,d,e\r\n")}) {
        const CSurveyPoints got = ReadSurveyPoints(none);
        EXPECT_EQ(got.form, ESurveyForm::kNone) << none;
        EXPECT_TRUE(got.points.empty() && got.unread.empty()) << none;
    }
    // Line numbers of the notes: CR LF ends a line, a lone LF does not.
    EXPECT_EQ(SurveyLineNumber("a\r\nb\r\nc", 0), 1);
    EXPECT_EQ(SurveyLineNumber("a\r\nb\r\nc", 3), 2);
    EXPECT_EQ(SurveyLineNumber("a\r\nb\nc", 6), 2);
}
