// Prism correction: any text is either corrected or refused whole; a refusal
// produces nothing, and a corrected text keeps its line structure.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "edit/PrismCorrection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const float oldConst = PrismConstantMetres(static_cast<int8_t>(data[0]));
    const float newConst = PrismConstantMetres(static_cast<int8_t>(data[1]));
    const std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::string out;
    std::size_t badLine = 0;
    switch (CorrectPrismText(text, oldConst, newConst, out, &badLine)) {
        case PrismResult::kCorrected: {
            auto lines = [](std::string_view s) {
                std::size_t n = 0;
                for (std::size_t at = s.find("\r\n"); at != std::string_view::npos;
                     at = s.find("\r\n", at + 2))
                    ++n;
                return n;
            };
            if (lines(out) != lines(text)) std::abort();
            const bool textEnds = text.size() >= 2 && text.substr(text.size() - 2) == "\r\n";
            const bool outEnds = out.size() >= 2 && out.substr(out.size() - 2) == "\r\n";
            if (textEnds != outEnds) std::abort();
            break;
        }
        case PrismResult::kInvalid:
            if (!out.empty() || badLine == 0) std::abort();
            break;
        case PrismResult::kTooLarge:
        case PrismResult::kUnchanged:
            if (!out.empty()) std::abort();
            break;
    }
    return 0;
}
