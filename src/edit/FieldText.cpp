#include "edit/FieldText.h"

namespace {
bool IsLeadByte(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}
bool IsTrailByte(unsigned char c) {
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}
}  // namespace

std::string_view CutToField(std::string_view text, std::size_t maxBytes) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto c = static_cast<unsigned char>(text[pos]);
        std::size_t width = 1;
        if (IsLeadByte(c) && pos + 1 < text.size() &&
            IsTrailByte(static_cast<unsigned char>(text[pos + 1])))
            width = 2;
        if (pos + width > maxBytes) break;
        pos += width;
    }
    return text.substr(0, pos);
}
