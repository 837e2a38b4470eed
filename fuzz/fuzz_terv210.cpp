// TERV210 text: validators, parser and the block encoder; encoded blocks convert back
// to one line per record.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "convert/Converters.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CountTerv210Records(text);
    CountCodeListLines(text);
    CountRawCodeMarkers(text);
    std::vector<CoordRecord> table;
    std::string message;
    ParseTerv210Records(text, table, &message);

    std::string blocks;
    if (BuildCoordBlocks(text, blocks, &message)) {
        std::vector<CTervLine> lines;
        if (!SplitTerv210Lines(text, lines, "", nullptr)) std::abort();
        // Point names with the framing's own bytes or "_+" can not come back whole.
        bool plain = true;
        for (const CTervLine& line : lines)
            plain &= line.m_fields[0].find_first_of("\x02\x03\x04_") == std::string_view::npos;
        const CConvertResult back = OnTervCoords210(blocks);
        if (plain) {
            if (!back.IsDone()) std::abort();
            size_t count = 0;
            for (size_t p = back.m_text.find("\r\n"); p != std::string::npos;
                 p = back.m_text.find("\r\n", p + 2))
                ++count;
            if (count != lines.size()) std::abort();
        }
    } else if (message.empty()) {
        std::abort();  // a refusal always says why
    }
    return 0;
}
