// Fast, locale-free number text for the converters ("%.3f", "%.4f", "%d" forms).
#pragma once

#include <string>
#include <string_view>

namespace numtext {

// Appends what "%.3f" writes for millimetres / 1000.0 (exact for counts below 10^12);
// zero is written without a sign.
void AppendMillimetres(std::string& out, long long millimetres);
// Appends what "%.<decimals>f" writes for `value`; negative zero is written as zero.
void AppendFixed(std::string& out, double value, int decimals);
// Appends what "%d" writes.
void AppendInt(std::string& out, long long value);

// A decimal number of a coordinate list: optional spaces, optional sign, digits with
// an optional decimal point and fraction, optional spaces. An empty field reads as 0.
struct CDecimal {
    bool m_negative = false;
    std::string_view m_whole;     // digits before the point (may be empty)
    std::string_view m_fraction;  // digits after the point (may be empty)
    double Value() const;
};
bool ParseDecimal(std::string_view text, CDecimal& out);
// True when the number is below zero (a sign and some digit other than 0).
bool IsNegative(const CDecimal& number);
// Appends what "%.<decimals>f" writes for the number's value (negative zero as zero).
// Short numbers are written straight from their digits, which gives the same text.
void AppendDecimal(std::string& out, const CDecimal& number, int decimals);

// Reads an optional sign and the digits (and a fraction) at the start of `text` the
// way the instruments' numbers are read: stops at the first other character; no
// digits read as 0. Returns the value.
double LeadingNumber(std::string_view text);

}  // namespace numtext
