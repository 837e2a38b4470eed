#include "edit/PrismCorrection.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/Bounds.h"
#include "convert/TervLines.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Length of the decimal number at the start of s (0 when there is none).
std::size_t DecimalLength(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

// For a number out of the range of double: does it overflow (else it underflows)?
bool OverflowsDouble(std::string_view number) {
    long magnitude = 0;
    std::size_t i = 0;
    while (i < number.size() && number[i] == '0') ++i;
    std::size_t intDigits = 0;
    while (i < number.size() && IsDigit(number[i])) ++i, ++intDigits;
    if (intDigits > 0) {
        magnitude = static_cast<long>(intDigits) - 1;
    } else if (i < number.size() && number[i] == '.') {
        ++i;
        long zeros = 0;
        while (i < number.size() && number[i] == '0') ++i, ++zeros;
        magnitude = -(zeros + 1);
    }
    const std::size_t e = number.find_first_of("eE");
    if (e != std::string_view::npos) {
        std::size_t j = e + 1;
        const bool negative = j < number.size() && number[j] == '-';
        if (j < number.size() && (number[j] == '+' || number[j] == '-')) ++j;
        long exponent = 0;
        for (; j < number.size() && IsDigit(number[j]); ++j)
            exponent = std::min(exponent * 10 + (number[j] - '0'), 100000L);
        magnitude += negative ? -exponent : exponent;
    }
    return magnitude > 0;
}

double ToDouble(std::string_view number) {
    bool negative = false;
    if (!number.empty() && (number[0] == '+' || number[0] == '-')) {
        negative = number[0] == '-';
        number.remove_prefix(1);
    }
    double value = 0;
    // Out of range gives +-inf or 0 like strtod; the caller checks finiteness.
    auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) value = OverflowsDouble(number) ? HUGE_VAL : 0.0;
    (void)ptr;
    return negative ? -value : value;
}

std::string_view SkipBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    return s;
}

void AppendFloat(std::string& out, float value) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    out.append(buffer, static_cast<std::size_t>(n));
}

// Corrects one line without its line end; false when it is not two fields
// and three numbers.
bool CorrectLine(std::string_view line, float oldConst, float newConst, std::string& out) {
    if (IsBlankLine(line)) {
        // A blank line holds no point; it stays as it is.
        out.append(line);
        return true;
    }
    std::string_view fields[5];
    if (!SplitTervFields(line, fields)) return false;
    float v[3];
    for (int i = 0; i < 3; ++i) {
        const auto number = ParseDecimalField(fields[2 + i]);
        if (!number) return false;
        v[i] = static_cast<float>(*number);
        if (!std::isfinite(v[i])) return false;
    }
    const float x = v[0], y = v[1], z = v[2];
    const float d = static_cast<float>(std::sqrt(
        static_cast<double>(x) * x + static_cast<double>(y) * y + static_cast<double>(z) * z));
    if (d == 0.0f) {
        // No direction to scale along: the point stays as it was.
        out.append(line);
        return true;
    }
    float dn = static_cast<float>(static_cast<double>(d) - oldConst);
    dn = static_cast<float>(static_cast<double>(dn) + newConst);
    if (!std::isfinite(d) || !std::isfinite(dn)) return false;
    const float xn = static_cast<float>(static_cast<double>(x) / d * dn);
    const float yn = static_cast<float>(static_cast<double>(y) / d * dn);
    const float zn = static_cast<float>(static_cast<double>(z) / d * dn);
    out.append(fields[0]);
    out.push_back(',');
    out.append(fields[1]);
    out.push_back(',');
    AppendFloat(out, xn);
    out.push_back(',');
    AppendFloat(out, yn);
    out.push_back(',');
    AppendFloat(out, zn);
    return true;
}

}  // namespace

std::optional<double> ParseDecimalField(std::string_view field) {
    field = SkipBlanks(field);
    while (!field.empty() && IsBlank(field.back())) field.remove_suffix(1);
    const std::size_t length = DecimalLength(field);
    if (length == 0 || length != field.size()) return std::nullopt;
    return ToDouble(field);
}

double ParseLeadingDecimal(std::string_view text) {
    text = SkipBlanks(text);
    const std::size_t length = DecimalLength(text);
    if (length == 0) return 0.0;
    const double value = ToDouble(text.substr(0, length));
    return std::isfinite(value) ? value : 0.0;
}

float PrismConstantMetres(double typedMillimetres) {
    const float typed = static_cast<float>(typedMillimetres);
    return static_cast<float>(static_cast<double>(typed) / 1000.0);
}

PrismResult CorrectPrismText(std::string_view text, float oldConstMetres, float newConstMetres,
                             std::string& out, std::size_t* invalidLine) {
    if (text.empty()) return PrismResult::kUnchanged;
    std::string result;
    result.reserve(text.size() + text.size() / 2);
    CTervLineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        if (!CorrectLine(line, oldConstMetres, newConstMetres, result)) {
            if (invalidLine) *invalidLine = static_cast<std::size_t>(reader.LineNumber());
            return PrismResult::kInvalid;
        }
        if (reader.Terminated()) result.append("\r\n");
        if (result.size() > kMaxTextBytes) return PrismResult::kTooLarge;
    }
    out = std::move(result);
    return PrismResult::kCorrected;
}
