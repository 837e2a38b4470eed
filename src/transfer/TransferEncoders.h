// The encoders the uploads use, as the workers call them: thread-safe, the
// failure message handed back instead of shown.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Appends the framed coordinate blocks and the end record to out.
bool EncodeCoordBlocks(std::string_view viewText, std::string& out, std::string& message);
// Appends the framed PCODE blocks and the end record to out.
bool EncodePcodeBlocks(std::string_view viewText, std::string& out, std::string& message);
// Number of five-field coordinate records, 0 when the text is not such a list.
size_t CountCoordRecords(std::string_view viewText);
