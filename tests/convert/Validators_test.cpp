// Validators of the view formats, the TERV210 parser and the one TERV line reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "convert/RecordFormats.h"
#include "convert/TervLines.h"

TEST(Validators, CountLinesOfEachFormat) {
    const std::pair<const char*, int> terv[] = {
        {"", 0},
        {"P1,,1,2,3\r\nP2,C,4,5,6\r\n", 2},
        {"P1,,1,2\r\n", 0},
        {"P1,,1,2,3\r\nP2,,4,5,6", 1},      // an unterminated last line is not counted...
        {"P1,,1,2,3\r\nP2,,4", 0},          // ... and one short of commas refuses the text
        {"a,b,c,d,e,f\r\na,b,c,d\r\n", 2},  // cumulative: five commas then three pass
        {"P1,,1,2,3\r\nP2,,4,5\r\nP3,,1,2,3\r\n", 1},
        {"P1,,1,2,3\nP2,,4,5,6\r\n", 2},  // a lone LF is no line end
        {"P1,,1,2,3\r\n\r\n", 1},
    };
    for (const auto& [text, n] : terv) EXPECT_EQ(CountTerv210Records(text), n) << text;
    const std::pair<const char*, int> codes[] = {
        {"", 0},          {"1,TREE\r\n2,POLE\r\n", 2}, {"1,TREE\r\n2,PO,LE\r\n", 0},
        {"1TREE\r\n", 0}, {"1,TREE\r\n2,POLE", 1},     {"1,TREE", 0}};
    for (const auto& [text, n] : codes) EXPECT_EQ(CountCodeListLines(text), n) << text;

    const std::string framed = std::string("\x02_:007TREE      _:012POLE      _") +
                               std::string(97, ' ') + "0046\x03\r\n\x02\x04\x03\r\n";
    EXPECT_EQ(CountRawCodeMarkers(framed), 2);
    EXPECT_EQ(CountRawCodeMarkers(" " + framed), 0);  // must begin with STX
    EXPECT_EQ(CountRawCodeMarkers("\x02_:1\x03\r\n"), 1);
    EXPECT_EQ(CountRawCodeMarkers("\x02_:1abc"), 0);  // ends with none of EOT _ _, CR _, LF
    EXPECT_EQ(CountRawCodeMarkers("\x02_:_:_:\n"), 3);
    EXPECT_EQ(CountRawCodeMarkers("\x02"), 0);
}

TEST(Validators, ParseTerv210RecordsFillsTheTable) {
    std::vector<CoordRecord> table;
    std::string message;
    ASSERT_TRUE(
        ParseTerv210Records("P1,TREE,512.345,-20.5,12.3456\r\n\r\nK2,,1,2,3", table, &message));
    ASSERT_EQ(table.size(), 2u);  // blank line skipped, unterminated last line kept
    EXPECT_STREQ(table[0].m_szCode, "TREE");
    EXPECT_STREQ(table[0].m_szEast, "512.345");
    EXPECT_STREQ(table[0].m_szNorth, "-20.5");
    EXPECT_STREQ(table[0].m_szHeight, "12.3456");
    EXPECT_STREQ(table[1].m_szName, "K2");
    EXPECT_STREQ(table[1].Field(4), "3");
    // 14 characters fit, 15 do not: the line is named, nothing is cut silently.
    EXPECT_TRUE(ParseTerv210Records("ABCDEFGHIJKLMN,,1,2,3\r\n", table, &message));
    EXPECT_FALSE(ParseTerv210Records("P1,,1,2,3\r\nABCDEFGHIJKLMNO,,1,2,3\r\n", table, &message));
    EXPECT_EQ(message, "转换失败!\n第2行");
    EXPECT_FALSE(ParseTerv210Records("a,b,c,d,e,f\r\na,b,c,d\r\n", table, &message));
    EXPECT_EQ(message, "转换失败!\n第1行");

    CoordRecord record;
    EXPECT_FALSE(CoordRecord::SetField(record.m_szName, std::string(40, 'x')));
    EXPECT_EQ(std::string(record.m_szName), std::string(14, 'x'));
    EXPECT_EQ(record.m_szCode[0], '\0');  // the neighbour is untouched
    CodeRecord code;
    code.Assign("007TREE      extra");
    EXPECT_EQ(std::string(code.Number()) += code.Code(), "007TREE      ");
    code.Assign("12");  // cut off: the rest stays spaces
    EXPECT_EQ(std::string(code.Number()) += code.Code(), "12 " + std::string(10, ' '));
}

// Every coordinate upload reads its list here: the whole list or nothing.
TEST(Validators, ReadTerv210UploadTakesEveryRecordOrNamesTheLine) {
    const std::string bad = "不是有效的TERV210格式!";
    const std::pair<const char*, std::string> cases[] = {
        {"A1,C,1.0,2.0,3.0\r\n\r\nA3,,4,5,6\r\nA4,,7,8,9\r\n", "1:A1 3:A3 4:A4"},
        {"\r\n \r\nA1,C,-1, 2 ,3\r\nA2,,4,5,6", "3:A1 4:A2"},  // unterminated last line
        {"", ""},
        {"A1,C,1,2,3\r\nnote: checked twice\r\nA3,,4,5,6\r\n", bad + "\n第2行"},
        {"Name,Code,East,North,Height\r\nA1,,1,2,3\r\n", bad + "\n第1行"},
        {"A1,,1,2,3,4\r\n", bad + "\n第1行"},
        {"A1,,1,2,3\nA2,,4,5,6\r\n", bad + "\n第1行"},  // a lone LF is no line end
        {"A\n1,,1,2,3\r\n", bad + "\n第1行"},
        {"A1,,1,2,3\r\nA2,,4,5,6\r", bad + "\n第2行"},
        {"\r\n\r\n", bad},
    };
    for (const auto& [text, expected] : cases) {
        std::vector<CTervLine> lines;
        std::string message, got;
        if (ReadTerv210Upload(text, lines, &message)) {
            for (const CTervLine& line : lines)
                got += (got.empty() ? "" : " ") + std::to_string(line.m_lineNumber) + ":" +
                       std::string(line.m_fields[0]);
        } else {
            got = message;
            EXPECT_TRUE(lines.empty());
        }
        EXPECT_EQ(got, expected) << text;
    }
}

// One reader serves callers with different rules; each rule is pinned here.
TEST(TervLines, LineEndsLastLinesAndFields) {
    const std::string_view text = "a\rb\nc\r\n\r\n  \r\nlast";
    const auto read = [](std::string_view t, ELastLine last) {
        std::vector<std::string> out;
        CTervLineReader reader(t, last);
        std::string_view line;
        while (reader.Next(line))
            out.push_back(std::to_string(reader.LineNumber()) + (reader.Terminated() ? "=" : "~") +
                          std::string(line));
        return out;
    };
    EXPECT_EQ(read(text, ELastLine::kLine),
              (std::vector<std::string>{"1=a\rb\nc", "2=", "3=  ", "4~last"}));
    EXPECT_EQ(read(text, ELastLine::kDropped),
              (std::vector<std::string>{"1=a\rb\nc", "2=", "3=  "}));
    EXPECT_EQ(FindTervLineEnd("\r\n\r\n", 1), 2u);
    EXPECT_EQ(FindTervLineEnd("abc\n", 0), std::string_view::npos);
    // The instruments' rule ends at a CR, or at the byte before an LF.
    EXPECT_EQ(FindTervLineEnd("ab\rc", 0, ELineEnd::kCrOrBeforeLf), 2u);
    EXPECT_EQ(FindTervLineEnd("abc\n", 0, ELineEnd::kCrOrBeforeLf), 2u);
    EXPECT_EQ(FindTervLineEnd("abc", 0, ELineEnd::kCrOrBeforeLf), std::string_view::npos);
    std::string_view fields[5];
    ASSERT_TRUE(SplitTervFields("A,B,1,2,3,x", fields));
    EXPECT_EQ(fields[4], "3,x");
    EXPECT_FALSE(SplitTervFields("A,B,1,2", fields));
}
