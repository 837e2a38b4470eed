// The fast number text must write exactly what printf writes.
#include "convert/NumberText.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

std::string Printf(const char* format, double value) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, value);
    std::string text = buf;
    // Zero is written without a sign in our lists.
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

}  // namespace

TEST(NumberText, DecimalsMillimetresAndIntegersMatchPrintf) {
    std::mt19937 random(7);
    const char* const fixed[] = {
        "0",       "-0",       "12.5",    "-20.005",          "007.25",
        ".5",      "-.5",      "1.",      "99999999999.9999", "123456789012.5",
        "1.23456", "-0.00004", "2.00005", "  3.1  ",          "+4"};
    std::vector<std::string> inputs(std::begin(fixed), std::end(fixed));
    for (int i = 0; i < 20000; ++i) {
        std::string s = random() % 3 == 0 ? "-" : "";
        s += std::to_string(random() % (i % 2 ? 1000000 : 100000000000LL));
        if (random() % 4) s += "." + std::to_string(random() % 100000).substr(0, random() % 6);
        inputs.push_back(s);
    }
    for (const std::string& input : inputs) {
        numtext::CDecimal number;
        ASSERT_TRUE(numtext::ParseDecimal(input, number)) << input;
        std::string ours;
        numtext::AppendDecimal(ours, number, 4);
        EXPECT_EQ(ours, Printf("%.4f", std::strtod(input.c_str(), nullptr))) << input;
    }
    for (const char* bad : {"abc", "1.2.3", "+", ".", "1e5", "1,5", "- 1"}) {
        numtext::CDecimal number;
        EXPECT_FALSE(numtext::ParseDecimal(bad, number)) << bad;
    }
    for (long long mm :
         {0LL, 1LL, -1LL, 999LL, -1000LL, 100250LL, -20005LL, 999999999LL, -999999999999LL}) {
        std::string ours;
        numtext::AppendMillimetres(ours, mm);
        EXPECT_EQ(ours, Printf("%.3f", static_cast<double>(mm) / 1000.0)) << mm;
        ours.clear();
        numtext::AppendInt(ours, mm);
        EXPECT_EQ(ours, std::to_string(mm));
    }
    EXPECT_DOUBLE_EQ(numtext::LeadingNumber("+100250_*X"), 100250.0);
    EXPECT_DOUBLE_EQ(numtext::LeadingNumber("-12.5-3"), -12.5);
    EXPECT_DOUBLE_EQ(numtext::LeadingNumber("_"), 0.0);
}
