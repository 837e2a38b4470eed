// ReadSurveyPoints on any text: never reads past it; every point and every unread
// line starts a line of the text, in text order; a text of no form gives nothing.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "convert/SurveyPoints.h"

namespace {

bool StartsLine(std::string_view text, size_t at) {
    return at == 0 || (at >= 2 && at <= text.size() && text.substr(at - 2, 2) == "\r\n");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CSurveyPoints result = ReadSurveyPoints(text);
    if (result.form == ESurveyForm::kNone && (!result.points.empty() || !result.unread.empty()))
        std::abort();
    size_t last = 0;
    for (const CSurveyPoint& p : result.points) {
        if (!StartsLine(text, p.lineStart) || p.lineStart < last) std::abort();
        if (!std::isfinite(p.e) || !std::isfinite(p.n) || !std::isfinite(p.z)) std::abort();
        last = p.lineStart;
    }
    for (const size_t at : result.unread)
        if (!StartsLine(text, at)) std::abort();
    if (SurveyLineNumber(text, size) < 1) std::abort();
    return 0;
}
