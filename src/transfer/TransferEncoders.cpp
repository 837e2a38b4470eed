#include "transfer/TransferEncoders.h"

#include "convert/Converters.h"
#include "convert/RecordFormats.h"

bool EncodeCoordBlocks(std::string_view viewText, std::string& out, std::string& message) {
    return BuildCoordBlocks(viewText, out, &message);
}

bool EncodePcodeBlocks(std::string_view viewText, std::string& out, std::string& message) {
    return BuildPcodeBlocks(viewText, out, &message);
}

size_t CountCoordRecords(std::string_view viewText) {
    const int count = CountTerv210Records(viewText);
    return count > 0 ? static_cast<size_t>(count) : 0;
}
