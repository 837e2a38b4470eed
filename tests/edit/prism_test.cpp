#include <gtest/gtest.h>

#include <cmath>
#include <string>

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

TEST(PrismCorrection, PrintedDigitsFollowFloatArithmetic) {
    // 123.456 as the nearest 32-bit float prints with a trailing 1.
    EXPECT_EQ(CorrectOk("Q,K,123.456,0,0\r\n", "0", "0"), "Q,K,123.456001,0.000000,0.000000\r\n");
    EXPECT_EQ(CorrectOk("Q,K,123.456,0,0\r\n", "", ""), "Q,K,123.456001,0.000000,0.000000\r\n");
    // 3-4-12 has length 13; negative components keep their sign.
    EXPECT_EQ(CorrectOk("P1,C1,3,4,12\r\nP2,C2,-3,-4,-12\r\n", "0", "0"),
              "P1,C1,3.000000,4.000000,12.000000\r\nP2,C2,-3.000000,-4.000000,-12.000000\r\n");
    // 0.1 has no exact float: x/d*d' is formed in double and narrowed once.
    EXPECT_EQ(CorrectOk("A,B,0.1,0.2,0.3\r\n", "0", "0"), "A,B,0.100000,0.200000,0.300000\r\n");
    // A long distance: float spacing shows in the sixth decimal.
    EXPECT_EQ(CorrectOk("A,B,1234.5678,0,0\r\n", "0", "0"),
              "A,B,1234.567749,0.000000,0.000000\r\n");
}

TEST(PrismCorrection, ConstantsAreMillimetres) {
    // d = 13 m; +13000 mm doubles it, -39000 mm flips it to -26 m.
    EXPECT_EQ(CorrectOk("P1,C1,3,4,12\r\n", "0", "13000"), "P1,C1,6.000000,8.000000,24.000000\r\n");
    EXPECT_EQ(CorrectOk("P1,C1,3,4,12\r\n", "39000", "0"),
              "P1,C1,-6.000000,-8.000000,-24.000000\r\n");
    // A realistic change -30 mm -> 0 mm on a 100 m shot adds 3 cm along the line.
    EXPECT_EQ(CorrectOk("S1,X,100,0,0\r\n", "-30", "0"), "S1,X,100.029999,0.000000,0.000000\r\n");
    EXPECT_EQ(CorrectOk("S1,X,0,0,-100\r\n", "0", "-30"), "S1,X,0.000000,0.000000,-99.970001\r\n");
    // The constant is narrowed twice: float(typed), then float(typed / 1000).
    EXPECT_EQ(PrismConstantMetres(13.0), static_cast<float>(static_cast<double>(13.0f) / 1000.0));
    EXPECT_EQ(PrismConstantMetres(0.1), static_cast<float>(static_cast<double>(0.1f) / 1000.0));
    // Typed constants: leading number, rest ignored, nothing -> 0.
    EXPECT_DOUBLE_EQ(ParseLeadingDecimal("  -17.5mm"), -17.5);
    EXPECT_DOUBLE_EQ(ParseLeadingDecimal("abc"), 0.0);
    EXPECT_DOUBLE_EQ(ParseLeadingDecimal(""), 0.0);
    EXPECT_DOUBLE_EQ(ParseLeadingDecimal("2e1"), 20.0);
}

TEST(PrismCorrection, ZeroVectorLineIsKeptAsItWas) {
    EXPECT_EQ(CorrectOk("O,C,0,0,0\r\nP,C,3,4,12\r\nZ,C, 0.000 ,-0,0e5\r\n", "0", "13000"),
              "O,C,0,0,0\r\nP,C,6.000000,8.000000,24.000000\r\nZ,C, 0.000 ,-0,0e5\r\n");
}

TEST(PrismCorrection, InvalidLineLeavesEverythingAlone) {
    const char* bad[] = {
        "P1,C1,3,4,12\r\nP2,C2,3,4\r\nP3,C3,1,1,1\r\n",  // four fields
        "P1,C1,3,4,12\r\nP2,C2,3,4,5,6\r\n",             // six fields
        "P1,C1,3,x,12\r\n",                              // not a number
        "P1,C1,3,,12\r\n",                               // empty number
        "P1,C1,3,4,12m\r\n",                             // trailing text
        "P1,C1,3,4,1e39\r\n",                            // beyond a float
        "P1,C1,3,4,12\r\nnocomma\r\nP3,C3,1,2,3\r\n",    // not read across lines
        "P1,C1,3,4\nP2,C2,12\r\n",                       // lone LF is not a line end
    };
    for (const char* text : bad) {
        std::string out = "untouched";
        std::size_t line = 0;
        EXPECT_EQ(Correct(text, "0", "10", out, &line), PrismResult::kInvalid) << text;
        EXPECT_EQ(out, "untouched") << text;
        EXPECT_GE(line, 1u);
    }
    std::string out;
    std::size_t line = 0;
    ASSERT_EQ(Correct("P1,C1,3,4,12\r\nP2,C2,3,4\r\nP3,C3,1,1,1\r\n", "0", "0", out, &line),
              PrismResult::kInvalid);
    EXPECT_EQ(line, 2u);
}

TEST(PrismCorrection, LineEndsAndFieldsAreKept) {
    // Unterminated last line is corrected and stays unterminated.
    EXPECT_EQ(CorrectOk("A,B,3,4,12\r\nC,D,0,0,2", "0", "13000"),
              "A,B,6.000000,8.000000,24.000000\r\nC,D,0.000000,0.000000,15.000000");
    EXPECT_EQ(CorrectOk("C,D,0,0,2", "0", "0"), "C,D,0.000000,0.000000,2.000000");
    // Text fields are copied whole, whatever their length and bytes (GBK included).
    const std::string longName = "\xB5\xE3\xC3\xFB-ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    EXPECT_EQ(CorrectOk(longName + ",\xB1\xE0\xC2\xEB long code,1,0,0\r\nS,,0,2,0\r\n", "0", "0"),
              longName + ",\xB1\xE0\xC2\xEB long code,1.000000,0.000000,0.000000\r\n" +
                  "S,,0.000000,2.000000,0.000000\r\n");
    // Numbers with blanks, signs, exponents.
    EXPECT_EQ(CorrectOk("A,B, +3.0 ,\t4.,1.2e1\r\n", "0", "0"),
              "A,B,3.000000,4.000000,12.000000\r\n");
    // Blank lines hold no point and stay as they are.
    EXPECT_EQ(CorrectOk("A,B,3,4,12\r\n\r\n  \r\nC,D,0,0,2\r\n", "0", "13000"),
              "A,B,6.000000,8.000000,24.000000\r\n\r\n  \r\nC,D,0.000000,0.000000,15.000000\r\n");
    std::string out = "untouched";
    EXPECT_EQ(Correct("", "0", "5", out), PrismResult::kUnchanged);
    EXPECT_EQ(out, "untouched");
}

TEST(PrismCorrection, NumberGrammar) {
    EXPECT_EQ(ParseDecimalField("12.5"), 12.5);
    EXPECT_EQ(ParseDecimalField(" -.5 "), -0.5);
    EXPECT_EQ(ParseDecimalField("1e-400"), 0.0);
    EXPECT_FALSE(ParseDecimalField("inf"));
    EXPECT_FALSE(ParseDecimalField("nan"));
    EXPECT_FALSE(ParseDecimalField("0x10"));
    EXPECT_FALSE(ParseDecimalField("."));
    EXPECT_FALSE(ParseDecimalField("1 2"));
    EXPECT_FALSE(ParseDecimalField("--1"));
    const auto huge = ParseDecimalField("1" + std::string(400, '0'));
    ASSERT_TRUE(huge);
    EXPECT_TRUE(std::isinf(*huge));
}

TEST(FieldText, CutKeepsDoubleByteCharactersWhole) {
    EXPECT_EQ(CutToField("ABCDEFGHIJKLMNOP", 14), "ABCDEFGHIJKLMN");
    EXPECT_EQ(CutToField("ABC", 14), "ABC");
    // 13 ASCII bytes then a two-byte character: it does not fit and is dropped whole.
    EXPECT_EQ(CutToField("ABCDEFGHIJKLM\xB5\xE3", 14), "ABCDEFGHIJKLM");
    EXPECT_EQ(CutToField("\xB5\xE3\xC3\xFB", 3), "\xB5\xE3");
    // A lone lead byte at the end counts as one byte.
    EXPECT_EQ(CutToField("AB\xB5", 3), "AB\xB5");
}
