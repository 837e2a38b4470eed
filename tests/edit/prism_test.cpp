// Prism correction: constants in millimetres, float digits, all or nothing,
// in the library and through `jvs convert prism`.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "JvsProcess_support.h"
#include "edit/FieldText.h"
#include "edit/PrismCorrection.h"

namespace {

// Runs the correction with constants typed in millimetres, as the dialog does.
PrismResult Correct(const std::string& text, const char* oldMm, const char* newMm, std::string& out,
                    std::size_t* badLine = nullptr) {
    return CorrectPrismText(text, PrismConstantMetres(ParseLeadingDecimal(oldMm)),
                            PrismConstantMetres(ParseLeadingDecimal(newMm)), out, badLine);
}

std::string CorrectOk(const std::string& text, const char* oldMm, const char* newMm) {
    std::string out = "untouched";
    EXPECT_EQ(Correct(text, oldMm, newMm, out), PrismResult::kCorrected) << text;
    return out;
}

}  // namespace

TEST(PrismCorrection, ConstantsAreMillimetresAndDigitsFollowFloats) {
    const struct {
        const char *text, *oldMm, *newMm, *out;
    } cases[] = {
        // 123.456 as the nearest 32-bit float prints with a trailing 1; no constants is 0.
        {"Q,K,123.456,0,0\r\n", "", "", "Q,K,123.456001,0.000000,0.000000\r\n"},
        // 0.1 has no exact float: x/d*d' is formed in double and narrowed once.
        {"A,B,0.1,0.2,0.3\r\n", "0", "0", "A,B,0.100000,0.200000,0.300000\r\n"},
        // d = 13 m; +13000 mm doubles it, -39000 mm flips it; signs are kept.
        {"P1,C1,3,4,12\r\n", "0", "13000", "P1,C1,6.000000,8.000000,24.000000\r\n"},
        {"P1,C1,-3,-4,-12\r\n", "39000", "0", "P1,C1,6.000000,8.000000,24.000000\r\n"},
        // A realistic change -30 mm -> 0 mm on a 100 m shot adds 3 cm along the line.
        {"S1,X,100,0,0\r\n", "-30", "0", "S1,X,100.029999,0.000000,0.000000\r\n"},
        {"S1,X,0,0,-100\r\n", "0", "-30mm", "S1,X,0.000000,0.000000,-99.970001\r\n"},
        // A point at 0,0,0 is kept as it was, blank lines too; numbers may have blanks and
        // exponents; text fields are copied whole (GBK included).
        {"O,C,0,0,0\r\n\r\n  \r\nZ,C, 0.000 ,-0,0e5\r\nA,B, +3.0 ,\t4.,1.2e1\r\n", "0", "0",
         "O,C,0,0,0\r\n\r\n  \r\nZ,C, 0.000 ,-0,0e5\r\nA,B,3.000000,4.000000,12.000000\r\n"},
        {"\xB5\xE3\xC3\xFB-ABCDEFGHIJKLMNOPQRSTUVWXYZ,\xB1\xE0 long code,1,0,0\r\n", "0", "0",
         "\xB5\xE3\xC3\xFB-ABCDEFGHIJKLMNOPQRSTUVWXYZ,\xB1\xE0 long code,1.000000,0.000000,"
         "0.000000\r\n"},
        // An unterminated last line is corrected and stays unterminated.
        {"A,B,3,4,12\r\nC,D,0,0,2", "0", "13000",
         "A,B,6.000000,8.000000,24.000000\r\nC,D,0.000000,0.000000,15.000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(CorrectOk(c.text, c.oldMm, c.newMm), c.out) << c.text;
    std::string out = "untouched";
    EXPECT_EQ(Correct("", "0", "5", out), PrismResult::kUnchanged);
    EXPECT_EQ(out, "untouched");
}

TEST(PrismCorrection, InvalidLineLeavesEverythingAlone) {
    const std::pair<const char*, size_t> bad[] = {
        {"P1,C1,3,4,12\r\nP2,C2,3,4\r\nP3,C3,1,1,1\r\n", 2},  // four fields
        {"P1,C1,3,x,12\r\n", 1},                              // not a number
        {"P1,C1,3,4,12m\r\n", 1},                             // trailing text
        {"P1,C1,3,4,1e39\r\n", 1},                            // beyond a float
        {"P1,C1,3,4,12\r\nnocomma\r\nP3,C3,1,2,3\r\n", 2},    // not read across lines
        {"P1,C1,3,4\nP2,C2,12\r\n", 1},                       // lone LF is not a line end
    };
    for (const auto& [text, line] : bad) {
        std::string out = "untouched";
        std::size_t at = 0;
        EXPECT_EQ(Correct(text, "0", "10", out, &at), PrismResult::kInvalid) << text;
        EXPECT_EQ(out, "untouched") << text;
        EXPECT_EQ(at, line) << text;
    }
    // Six decimals lengthen a text: a result past the 4 MiB bound of every
    // text could not be opened again, so it is refused whole; at the bound it is not.
    std::string line = "A,B,1,0,0\r\n", text;
    ASSERT_EQ(4194304 % CorrectOk(line, "0", "0").size(), 0u);
    for (size_t n = 4194304 / CorrectOk(line, "0", "0").size(); n > 0; --n) text += line;
    std::string out;
    EXPECT_EQ(Correct(text, "0", "0", out), PrismResult::kCorrected);
    EXPECT_EQ(out.size(), 4194304u);
    out = "untouched";
    EXPECT_EQ(Correct(text + line, "0", "0", out), PrismResult::kTooLarge);
    EXPECT_EQ(out, "untouched");
    for (const char* text : {"inf", "nan", "0x10", ".", "1 2", "--1"})
        EXPECT_FALSE(ParseDecimalField(text)) << text;
    EXPECT_EQ(ParseDecimalField(" -.5 "), -0.5);
}

TEST(PrismCorrection, CommandCorrectsOrRefusesTheWholeText) {
    const CTempDir dir;
    CJvsResult r;
    const auto run = [&](const std::string& args, const std::string& input) {
        std::vector<std::string> words{"convert", "prism"};
        std::istringstream split(args);
        for (std::string w; split >> w;) words.push_back(w);
        r = RunJvsIn(dir, words, input);
        return r.status;
    };
    ASSERT_EQ(run("--old 0 --new 13000 - -o result", "P1,C1,3,4,12\r\nQ,K,0,0,0"), 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(ReadFileBytes(dir / "result"), "P1,C1,6.000000,8.000000,24.000000\r\nQ,K,0,0,0");
    EXPECT_EQ(run("--old 0 --new 5 -o result2", "P1,C1,3,4,12\r\nP2,C2,3,4\r\n"), 1);
    EXPECT_EQ(r.err, "无效原始数据!\n第2行\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "result2"));
    for (const char* args : {"--old 0", "--old x --new 0", "--old 0 --new 0 --bogus 1"})
        EXPECT_EQ(run(args, "P,C,1,0,0\r\n"), 2) << args;
    EXPECT_EQ(run("--old 0 --new 0", ""), 3);
    EXPECT_EQ(r.out + r.err, "");
}

TEST(FieldText, CutKeepsDoubleByteCharactersWhole) {
    EXPECT_EQ(CutToField("ABCDEFGHIJKLMNOP", 14), "ABCDEFGHIJKLMN");
    // 13 ASCII bytes then a two-byte character: it does not fit and is dropped whole.
    EXPECT_EQ(CutToField("ABCDEFGHIJKLM\xB5\xE3", 14), "ABCDEFGHIJKLM");
    EXPECT_EQ(CutToField("\xB5\xE3\xC3\xFB", 3), "\xB5\xE3");
    EXPECT_EQ(CutToField("AB\xB5", 3), "AB\xB5");  // a lone lead byte counts as one
}
