// Point codes: raw code blocks from the instrument to a code list, and a code list
// to the framed blocks the PCODE upload sends.
#include "convert/BlockFraming.h"
#include "convert/ConvertMessages.h"
#include "convert/Converters.h"

bool ReadRawCodeRecords(std::string_view text, std::vector<CodeRecord>& table,
                        std::string* message) {
    if (message) message->clear();
    if (text.empty()) return false;
    if (text.find("\r\n") == std::string_view::npos) {
        if (message) *message = convert_msg::kBadRawCode;
        return false;
    }
    std::string payloadText;
    if (!UnframeBlocks(text, payloadText)) return false;  // no end frame: quietly
    const std::string_view payload = payloadText;
    // The records are counted in the payload, not in the framed text, so a marker
    // that the framing split across two blocks is still a code.
    table.clear();
    for (size_t p = payload.find("_:"); p != std::string_view::npos;
         p = payload.find("_:", p + 1)) {
        CodeRecord record;
        record.Assign(payload.substr(p + 2, 13));
        table.push_back(record);
    }
    return !table.empty();  // no record at all ends quietly
}

CConvertResult OnPcodeList(std::string_view text, std::vector<CodeRecord>* tableOut) {
    if (CountRawCodeMarkers(text) == 0)
        return CConvertResult::Failed(convert_msg::kBadRawCodeMarkers);
    std::vector<CodeRecord> table;
    std::string message;
    if (!ReadRawCodeRecords(text, table, &message)) {
        return message.empty() ? CConvertResult::Unchanged()
                               : CConvertResult::Failed(std::move(message));
    }
    std::string out;
    out.reserve(table.size() * 16);
    for (const CodeRecord& record : table)
        out.append(record.Number()).append(",").append(record.Code()).append("\r\n");
    if (tableOut) *tableOut = std::move(table);
    return CConvertResult::Done(std::move(out));
}

bool BuildPcodeBlocks(std::string_view text, std::string& out, std::string* message) {
    const int count = CountCodeListLines(text);
    if (count < 1) {
        if (message) *message = convert_msg::kBadPcodeList;
        return false;
    }
    std::string payload;
    payload.reserve(static_cast<size_t>(count) * 15);
    size_t pos = 0;
    for (int line = 1; line <= count; ++line) {
        // Every counted line ends with CR LF and holds exactly one comma.
        const size_t end = text.find("\r\n", pos);
        const std::string_view row = text.substr(pos, end - pos);
        pos = end + 2;
        const size_t comma = row.find(',');
        const std::string_view number = row.substr(0, comma);
        const std::string_view code = row.substr(comma + 1);
        // Fixed widths: a number of 1 to 3 characters, a code of at most 10.
        if (number.empty() || number.size() > 3 || code.size() > 10) {
            if (message) *message = std::string(convert_msg::kBadPcodeList) + "\n" + LineNote(line);
            return false;
        }
        payload.append("_:").append(3 - number.size(), '0').append(number);
        payload.append(code).append(10 - code.size(), ' ');
    }
    if (FramedSize(payload.size()) + 1 > kWorkBufferSize) {
        if (message) *message = convert_msg::kOutOfMemory;
        return false;
    }
    FramePayload(payload, out);
    return true;
}
