// The view codec must give back every byte sequence unchanged, through both
// the plain and the display form.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert/ViewCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (EncodeViewText(DecodeViewText(bytes)) != bytes) std::abort();
    if (EncodeViewDisplay(DecodeViewDisplay(bytes)) != bytes) std::abort();
    return 0;
}
