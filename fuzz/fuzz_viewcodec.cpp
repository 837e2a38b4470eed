// The view codec must give back every byte sequence unchanged, through both
// the plain form and the editor's UTF-8 form.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert/ViewCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (EncodeViewUtf16(DecodeViewUtf16(bytes)) != bytes) std::abort();
    if (EncodeViewUtf8(DecodeViewUtf8(bytes)) != bytes) std::abort();
    return 0;
}
