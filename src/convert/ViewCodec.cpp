#include "convert/ViewCodec.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

#include "Gbk936Table.inc"
#include "base/ControlBytes.h"

namespace {

constexpr unsigned kTrailCount = kGbkTrailLast - kGbkTrailFirst + 1;
static_assert(sizeof kGbkPair / sizeof kGbkPair[0] ==
              (kGbkLeadLast - kGbkLeadFirst + 1) * kTrailCount);

// Code page 936 as Qt's GBK codec sees it (tables made at build time, each
// character kept for one byte sequence only), and the way back.
struct CGbkTables {
    const char16_t* pair = kGbkPair;       // 0: invalid
    const char16_t* single = kGbkSingle;   // bytes 0x80..0xFF
    std::array<uint16_t, 65536> encode{};  // 0: none; < 0x100 one byte, else lead << 8 | trail

    CGbkTables() {
        for (unsigned b = 0x80; b <= 0xFF; ++b)
            if (const char16_t c = single[b - 0x80]) encode[c] = static_cast<uint16_t>(b);
        for (unsigned lead = kGbkLeadFirst; lead <= kGbkLeadLast; ++lead)
            for (unsigned trail = kGbkTrailFirst; trail <= kGbkTrailLast; ++trail)
                if (const char16_t c =
                        pair[(lead - kGbkLeadFirst) * kTrailCount + (trail - kGbkTrailFirst)])
                    encode[c] = static_cast<uint16_t>(lead << 8 | trail);
    }
};

const CGbkTables& Tables() {
    static const CGbkTables tables;
    return tables;
}

std::u16string Decode(std::string_view bytes, bool controlSymbols) {
    const CGbkTables& t = Tables();
    const size_t n = bytes.size();
    std::u16string out;
    out.resize(n);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    char16_t* const start = o;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t i = 0; i < n; ++i) {
        const unsigned b = in[i];
        if (b < 0x80) {
            if (b == '\r' || b == '\n') {
                *o++ = static_cast<char16_t>(b);
            } else if (controlSymbols && b < 0x20) {
                *o++ = static_cast<char16_t>(kControlSymbolBase + b);
            } else if (controlSymbols && b == 0x7F) {
                *o++ = kDeleteSymbol;
            } else {
                *o++ = static_cast<char16_t>(b);
            }
            continue;
        }
        if (IsGbkLeadByte(b) && i + 1 < n) {
            const unsigned trail = in[i + 1];
            if (trail >= kGbkTrailFirst && trail <= kGbkTrailLast) {
                const char16_t c =
                    t.pair[(b - kGbkLeadFirst) * kTrailCount + (trail - kGbkTrailFirst)];
                if (c) {
                    *o++ = c;
                    ++i;
                    continue;
                }
            }
        }
        const char16_t c = t.single[b - 0x80];
        *o++ = c ? c : static_cast<char16_t>(kEscapeBase + b);
    }
    out.resize(o - start);
    return out;
}

bool IsHighSurrogate(char16_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(char16_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

std::string Encode(std::u16string_view text) {
    const CGbkTables& t = Tables();
    const char16_t* s = text.data();
    const size_t n = text.size();
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        const char16_t u = s[i];
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u >= kControlSymbolBase && u < kControlSymbolBase + 0x20) {
            out += static_cast<char>(u - kControlSymbolBase);
        } else if (u == kDeleteSymbol) {
            out += '\x7F';
        } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            out += static_cast<char>(u - kEscapeBase);
        } else if (IsHighSurrogate(u)) {
            // Outside the basic plane: code page 936 has none of these.
            if (i + 1 < n && IsLowSurrogate(s[i + 1])) ++i;
            out += '?';
        } else if (const uint16_t code = t.encode[u]) {
            if (code < 0x100) {
                out += static_cast<char>(code);
            } else {
                out += static_cast<char>(code >> 8);
                out += static_cast<char>(code & 0xFF);
            }
        } else {
            out += '?';
        }
    }
    return out;
}

void PutUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One UTF-8 sequence at s[i..n): its code point and length, or length 0 when
// the bytes there are not UTF-8 (overlong forms and surrogates included).
std::pair<char32_t, size_t> GetUtf8(const unsigned char* s, size_t i, size_t n) {
    const unsigned b = s[i];
    size_t len = 0;
    char32_t c = 0, min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        len = 2, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        len = 3, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        len = 4, c = b & 0x07, min = 0x10000;
    } else {
        return {0, 0};
    }
    if (i + len > n) return {0, 0};
    for (size_t k = 1; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80) return {0, 0};
        c = c << 6 | (s[i + k] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return {0, 0};
    return {c, len};
}

// End of the run of bytes below 0x80 that starts at i: the same in both forms.
size_t AsciiRunEnd(const unsigned char* s, size_t i, size_t n) {
    while (i + 8 <= n) {
        uint64_t word;
        std::memcpy(&word, s + i, 8);
        if (word & 0x8080808080808080ULL) break;
        i += 8;
    }
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

}  // namespace

std::string DecodeViewUtf8(std::string_view bytes) {
    const CGbkTables& t = Tables();
    const size_t n = bytes.size();
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::string out;
    out.reserve(n + n / 2);
    for (size_t i = 0; i < n; ++i) {
        const unsigned b = in[i];
        if (b < 0x80) {
            const size_t end = AsciiRunEnd(in, i, n);
            out.append(bytes.data() + i, end - i);
            i = end - 1;
            continue;
        }
        if (IsGbkLeadByte(b) && i + 1 < n) {
            const unsigned trail = in[i + 1];
            if (trail >= kGbkTrailFirst && trail <= kGbkTrailLast) {
                if (const char16_t c =
                        t.pair[(b - kGbkLeadFirst) * kTrailCount + (trail - kGbkTrailFirst)]) {
                    PutUtf8(out, c);
                    ++i;
                    continue;
                }
            }
        }
        const char16_t c = t.single[b - 0x80];
        PutUtf8(out, c ? char32_t{c} : kUtf8EscapeBase + b);
    }
    return out;
}

std::string EncodeViewUtf8(std::string_view utf8) {
    const CGbkTables& t = Tables();
    const size_t n = utf8.size();
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n;) {
        if (s[i] < 0x80) {
            const size_t end = AsciiRunEnd(s, i, n);
            out.append(utf8.data() + i, end - i);
            i = end;
            continue;
        }
        const auto [c, len] = GetUtf8(s, i, n);
        if (len == 0) {
            out += static_cast<char>(s[i++]);  // not UTF-8: keep the byte
            continue;
        }
        i += len;
        if (c >= kUtf8EscapeBase + 0x80 && c <= kUtf8EscapeBase + 0xFF) {
            out += static_cast<char>(c - kUtf8EscapeBase);
        } else if (c >= 0x10000) {
            out += '?';
        } else if (const uint16_t code = t.encode[c]) {
            if (code >= 0x100) out += static_cast<char>(code >> 8);
            out += static_cast<char>(code & 0xFF);
        } else {
            out += '?';
        }
    }
    return out;
}

std::u16string DecodeViewUtf16(std::string_view bytes) {
    return Decode(bytes, true);
}

std::string EncodeViewUtf16(std::u16string_view text) {
    return Encode(text);
}

std::string Utf8ToGbk(std::string_view utf8) {
    return EncodeViewUtf8(utf8);
}
