// Writes code page 936 as Qt's GBK codec sees it, as C++ tables for the view
// codec: built and run once at build time, so the codec itself needs no Qt.
// A character that several byte sequences decode to keeps only the sequence
// the encoder produces, so decoding and encoding are exact inverses; the other
// sequences are left out (the codec escapes them byte by byte).
#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>
#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr unsigned kLeadFirst = 0x81, kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40, kTrailLast = 0xFE;
constexpr unsigned kTrailCount = kTrailLast - kTrailFirst + 1;
// Characters the codec shows control bytes and escapes as: never a GBK character.
constexpr char16_t kControlSymbolFirst = 0x2400, kControlSymbolLast = 0x2421;

void Print(const char* name, const char16_t* values, size_t count) {
    std::printf("inline constexpr char16_t %s[%zu] = {", name, count);
    for (size_t i = 0; i < count; ++i) {
        if (i % 12)
            std::printf(", ");
        else
            std::printf(i ? ",\n    " : "\n    ");
        std::printf("0x%04X", unsigned(values[i]));
    }
    std::printf("};\n");
}

}  // namespace

int main() {
    std::vector<char16_t> pair((kLeadLast - kLeadFirst + 1) * kTrailCount, 0);  // 0: invalid
    std::array<char16_t, 128> single{};                                         // bytes 0x80..0xFF
    QStringDecoder decoder("GBK", QStringConverter::Flag::Stateless);
    QStringEncoder encoder("GBK", QStringConverter::Flag::Stateless);
    if (decoder.isValid()) {
        auto decodeOne = [&decoder](const char* bytes, qsizetype size) -> char16_t {
            decoder.resetState();
            const QString text = decoder.decode(QByteArrayView(bytes, size));
            if (decoder.hasError() || text.size() != 1) return 0;
            const char16_t c = text.at(0).unicode();
            if (c < 0x80 || c == 0xFFFD || QChar::isSurrogate(c)) return 0;
            if (c >= kControlSymbolFirst && c <= kControlSymbolLast) return 0;
            return c;
        };
        std::vector<uint16_t> firstSource(65536, 0);
        std::vector<bool> shared(65536, false);
        auto add = [&](char16_t c, uint16_t source) {
            if (firstSource[c] == 0)
                firstSource[c] = source;
            else
                shared[c] = true;
        };
        for (unsigned b = 0x80; b <= 0xFF; ++b) {
            // Lead bytes only stand for themselves when no valid trail follows.
            if (b >= kLeadFirst && b <= kLeadLast) continue;
            const char byte = static_cast<char>(b);
            if (const char16_t c = decodeOne(&byte, 1)) {
                single[b - 0x80] = c;
                add(c, static_cast<uint16_t>(b));
            }
        }
        for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
            for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
                if (trail == 0x7F) continue;
                const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                if (const char16_t c = decodeOne(bytes, 2)) {
                    pair[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)] = c;
                    add(c, static_cast<uint16_t>(lead << 8 | trail));
                }
            }
        }
        // The sequence each character encodes to.
        std::vector<uint16_t> encode(65536, 0);
        for (unsigned c = 0; c < 65536; ++c) {
            if (firstSource[c] == 0) continue;
            uint16_t keep = firstSource[c];
            if (shared[c] && encoder.isValid()) {
                const QChar ch(static_cast<char16_t>(c));
                const QByteArray bytes = encoder.encode(QStringView(&ch, 1));
                if (bytes.size() == 1)
                    keep = static_cast<uint8_t>(bytes[0]);
                else if (bytes.size() == 2)
                    keep = static_cast<uint16_t>(static_cast<uint8_t>(bytes[0]) << 8 |
                                                 static_cast<uint8_t>(bytes[1]));
            }
            encode[c] = keep;
        }
        // Drop every sequence whose character encodes to another sequence.
        for (unsigned b = 0x80; b <= 0xFF; ++b) {
            char16_t& c = single[b - 0x80];
            if (c && encode[c] != b) c = 0;
        }
        for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
            for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
                char16_t& c = pair[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)];
                if (c && encode[c] != (lead << 8 | trail)) c = 0;
            }
        }
    }
    // Without Qt's GBK every high byte is escaped: still lossless.
    std::printf("// Generated at build time from Qt's GBK codec; do not edit.\n#pragma once\n\n");
    Print("kGbkSingle", single.data(), single.size());
    Print("kGbkPair", pair.data(), pair.size());
    return std::ferror(stdout) ? 1 : 0;
}
