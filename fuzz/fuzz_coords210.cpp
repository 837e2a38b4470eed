// OnTervCoords210 on any text: never reads past it, and a failure always carries its message.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "convert/Converters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CConvertResult result = OnTervCoords210(text);
    if (result.m_kind == CConvertResult::EKind::kFailed && result.m_message.empty()) std::abort();
    if (result.m_kind != CConvertResult::EKind::kDone && !result.m_text.empty()) std::abort();
    return 0;
}
