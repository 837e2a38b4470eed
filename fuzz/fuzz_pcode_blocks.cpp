// Code lists: the encoder either refuses with a message or its blocks come back as
// exactly as many codes as the list has lines.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert/Converters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string blocks, message;
    if (!BuildPcodeBlocks(text, blocks, &message)) {
        if (message.empty()) std::abort();
        return 0;
    }
    // Codes holding the framing's control bytes or markers of their own can't round-trip.
    if (text.find("_:") != std::string_view::npos || text.find(':') != std::string_view::npos ||
        text.find_first_of(std::string_view("\x02\x03\x04\0", 4)) != std::string_view::npos)
        return 0;
    std::vector<CodeRecord> table;
    const CConvertResult back = OnPcodeList(blocks, &table);
    if (!back.IsDone()) std::abort();
    if (table.size() != static_cast<size_t>(CountCodeListLines(text))) std::abort();
    return 0;
}
