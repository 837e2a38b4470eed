#include "view/TextWidths.h"

#include <QFontMetrics>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

CCharWidths::CCharWidths(const QFont& font) {
    const QFontMetrics fm(font);
    for (char16_t c = 0x20; c < 0x7F; ++c) ascii = std::max(ascii, fm.horizontalAdvance(QChar(c)));
    wide = std::max({fm.maxWidth(), 2 * ascii, 2 * fm.height()});
    blob = fm.horizontalAdvance(QStringLiteral("WWW")) + 2 * fm.height();
    tab = 8 * ascii;
}

std::pair<long long, long long> LineWidths(std::string_view utf8, const CCharWidths& w,
                                           long long start) {
    // Width added by each byte: a character's width on its first byte,
    // nothing on the bytes inside it; -1 ends a line.
    std::array<int, 256> add{};
    for (int b = 0; b < 256; ++b) {
        if (b == '\r' || b == '\n')
            add[b] = -1;
        else if (b == '\t')
            add[b] = w.tab;
        else if (b < 0x20 || b == 0x7F || b >= 0xF0)
            add[b] = w.blob;
        else if (b < 0x80)
            add[b] = w.ascii;
        else if (b >= 0xC0)
            add[b] = w.wide;
    }
    // Eight bytes at once while they are plain printable ASCII (no line
    // break, control or byte above 0x7E), the usual case; one at a time else.
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL, kHighs = 0x8080808080808080ULL;
    long long widest = start, line = start;
    const char* p = utf8.data();
    const char* const end = p + utf8.size();
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t v;
            std::memcpy(&v, p, sizeof v);
            const std::uint64_t below = (v - kOnes * 0x20) & ~v & kHighs;  // a byte < 0x20
            const std::uint64_t above = ((v + kOnes) | v) & kHighs;        // a byte >= 0x7F
            if ((below | above) == 0) {
                line += 8LL * w.ascii;
                p += 8;
                continue;
            }
        }
        const int a = add[static_cast<unsigned char>(*p++)];
        if (a < 0) {
            widest = std::max(widest, line);
            line = 0;
        } else {
            line += a;
        }
    }
    return {std::max(widest, line), line};
}
