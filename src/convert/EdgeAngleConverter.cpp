// QMX610/710 angle-and-distance records ("09F1", "09F2") to comma-separated lines.
// The fields are copied as text; nothing is computed from them.
#include "convert/ConvertMessages.h"
#include "convert/Converters.h"

namespace {

// A field's text up to and including its first space, or its whole width. The line
// end and the end of the text cut a short field; a field with nothing in it reads
// as blank (one space), like a field of spaces.
std::string_view MeasureField(std::string_view text, size_t pos, size_t width) {
    if (pos >= text.size()) return " ";
    std::string_view field = text.substr(pos, width);
    const size_t space = field.find(' ');
    if (space != std::string_view::npos) field = field.substr(0, space + 1);
    const size_t lineEnd = field.find_first_of("\r\n");
    if (lineEnd != std::string_view::npos) field = field.substr(0, lineEnd);
    return field.empty() ? std::string_view(" ") : field;
}

}  // namespace

CConvertResult OnTervEdgeAngle610(std::string_view text) {
    if (text.empty()) return CConvertResult::Failed(convert_msg::kNoData);
    std::string out;
    out.reserve(text.size() / 2);
    for (const std::string_view tag : {std::string_view("09F1"), std::string_view("09F2")}) {
        for (size_t t = text.find(tag); t != std::string_view::npos; t = text.find(tag, t + 94)) {
            const size_t first = t + 6 + 14;
            for (size_t i = 0; i < 4; ++i) {
                out.append(MeasureField(text, first + 16 * i, 16));
                if (i < 3) out.push_back(',');
            }
            const std::string_view fifth = MeasureField(text, first + 64, 14);
            if (fifth[0] != ' ') out.push_back(',');
            out.append(fifth).append("\r\n");
            // The last record of the text ends the whole extraction.
            if (t + 100 + 2 >= text.size()) return CConvertResult::Done(std::move(out));
        }
    }
    if (out.empty()) return CConvertResult::Unchanged();
    return CConvertResult::Done(std::move(out));
}
