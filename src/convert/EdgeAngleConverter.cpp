// QMX610/710 angle-and-distance records ("09F1", "09F2") to comma-separated lines.
// The fields are copied as text; nothing is computed from them.
#include "convert/ConvertMessages.h"
#include "convert/Converters.h"
#include "convert/FixedRecords.h"

namespace {

// A field's text up to and including its first space, or its whole width. The line
// end and the end of the text cut a short field; a field with nothing in it reads
// as blank (one space), like a field of spaces.
std::string_view MeasureField(std::string_view text, size_t tag, CFixedField at) {
    const size_t pos = tag + at.m_offset;
    if (pos >= text.size()) return " ";
    std::string_view field = text.substr(pos, at.m_width);
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
    for (const CMeasureRecordLayout& pass : {k09F1Record, k09F2Record}) {
        for (size_t t = text.find(pass.m_tag); t != std::string_view::npos;
             t = text.find(pass.m_tag, t + pass.m_next)) {
            for (size_t i = 0; i < 4; ++i) {
                out.append(MeasureField(text, t, pass.m_values[i]));
                if (i < 3) out.push_back(',');
            }
            const std::string_view fifth = MeasureField(text, t, pass.m_values[4]);
            if (fifth[0] != ' ') out.push_back(',');
            out.append(fifth).append("\r\n");
            // The last record of the text ends the whole extraction.
            if (t + pass.m_length + 2 >= text.size()) return CConvertResult::Done(std::move(out));
        }
    }
    if (out.empty()) return CConvertResult::Unchanged();
    return CConvertResult::Done(std::move(out));
}
