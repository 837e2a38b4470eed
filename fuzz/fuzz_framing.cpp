// Block framing: framing any payload and unframing it gives the payload back.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert/BlockFraming.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string payload;
    UnframeBlocks(input, payload);
    UnframeMeasurementBlocks(input, payload);

    std::string framed;
    FramePayload(input, framed);
    if (framed.size() != FramedSize(size)) std::abort();
    if (input.find_first_of("\x02\x03\x04") == std::string_view::npos) {
        std::string back;
        if (!UnframeBlocks(framed, back)) std::abort();
        if (back.compare(0, size, input) != 0) std::abort();
        if (back.size() % kBlockPayload != 0 && size != 0) std::abort();
    }
    return 0;
}
