#include "convert/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace numtext {

void AppendInt(std::string& out, long long value) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    (void)ec;
    out.append(buf, end);
}

void AppendMillimetres(std::string& out, long long millimetres) {
    unsigned long long magnitude = millimetres < 0
                                       ? 0ULL - static_cast<unsigned long long>(millimetres)
                                       : static_cast<unsigned long long>(millimetres);
    char buf[32];
    char* p = buf + sizeof buf;
    for (int i = 0; i < 3; ++i) {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    *--p = '.';
    do {
        *--p = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (millimetres < 0) *--p = '-';
    out.append(p, buf + sizeof buf);
}

void AppendFixed(std::string& out, double value, int decimals) {
    if (value == 0.0) value = 0.0;  // no "-0.0000"
    char buf[400];
    auto [end, ec] =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) {
        out.append("0");
        return;
    }
    // A value that rounds to zero keeps its sign in "%f"; drop it for a tidy list.
    if (buf[0] == '-' && std::strspn(buf + 1, "0.") == static_cast<size_t>(end - buf - 1)) {
        out.append(buf + 1, end);
        return;
    }
    out.append(buf, end);
}

double CDecimal::Value() const {
    if (m_whole.empty() && m_fraction.empty()) return 0.0;
    std::string text;
    text.reserve(m_whole.size() + m_fraction.size() + 3);
    text.append(m_whole.empty() ? std::string_view("0") : m_whole);
    if (!m_fraction.empty()) {
        text.push_back('.');
        text.append(m_fraction);
    }
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return m_negative ? -value : value;
}

static bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool ParseDecimal(std::string_view text, CDecimal& out) {
    out = CDecimal{};
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    text = text.substr(b, e - b);
    if (text.empty()) return true;
    size_t i = 0;
    if (text[0] == '+' || text[0] == '-') {
        out.m_negative = text[0] == '-';
        ++i;
    }
    const size_t wholeStart = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    out.m_whole = text.substr(wholeStart, i - wholeStart);
    if (i < text.size() && text[i] == '.') {
        const size_t fracStart = ++i;
        while (i < text.size() && IsDigit(text[i])) ++i;
        out.m_fraction = text.substr(fracStart, i - fracStart);
    }
    return i == text.size() && !(out.m_whole.empty() && out.m_fraction.empty());
}

bool IsNegative(const CDecimal& number) {
    const auto nonZero = [](std::string_view digits) {
        return digits.find_first_not_of('0') != std::string_view::npos;
    };
    return number.m_negative && (nonZero(number.m_whole) || nonZero(number.m_fraction));
}

void AppendDecimal(std::string& out, const CDecimal& number, int decimals) {
    std::string_view whole = number.m_whole;
    while (!whole.empty() && whole[0] == '0') whole.remove_prefix(1);
    // Below 10^11 with no more decimals than asked, the double nearest the number
    // prints back as exactly its digits.
    if (whole.size() > 11 || number.m_fraction.size() > static_cast<size_t>(decimals)) {
        AppendFixed(out, number.Value(), decimals);
        return;
    }
    if (IsNegative(number)) out.push_back('-');
    if (whole.empty()) whole = "0";
    out.append(whole);
    if (decimals > 0) {
        out.push_back('.');
        out.append(number.m_fraction);
        out.append(static_cast<size_t>(decimals) - number.m_fraction.size(), '0');
    }
}

double LeadingNumber(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i;
    }
    double value = 0.0;
    if (i > start) {
        const auto [ptr, ec] = std::from_chars(text.data() + start, text.data() + i, value);
        if (ec == std::errc::result_out_of_range) value = HUGE_VAL;
        (void)ptr;
    }
    return negative ? -value : value;
}

}  // namespace numtext
