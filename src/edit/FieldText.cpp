#include "edit/FieldText.h"

#include "base/ControlBytes.h"

std::string_view CutToField(std::string_view text, std::size_t maxBytes) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto c = static_cast<unsigned char>(text[pos]);
        std::size_t width = 1;
        if (IsGbkLeadByte(c) && pos + 1 < text.size() &&
            IsGbkTrailByte(static_cast<unsigned char>(text[pos + 1])))
            width = 2;
        if (pos + width > maxBytes) break;
        pos += width;
    }
    return text.substr(0, pos);
}
