#include "convert/RecordFormats.h"

#include <algorithm>
#include <cstring>

#include "convert/ConvertMessages.h"
#include "convert/NumberText.h"
#include "convert/TervLines.h"

char* CoordRecord::Field(int i) {
    char* fields[] = {m_szName, m_szCode, m_szEast, m_szNorth, m_szHeight};
    return fields[std::clamp(i, 0, 4)];
}

const char* CoordRecord::Field(int i) const {
    return const_cast<CoordRecord*>(this)->Field(i);
}

bool CoordRecord::SetField(char (&field)[kFieldSize], std::string_view value) {
    const size_t n = std::min(value.size(), kFieldSize - 1);
    std::copy_n(value.begin(), n, field);
    std::memset(field + n, 0, kFieldSize - n);
    return n == value.size();
}

void CodeRecord::Assign(std::string_view thirteen) {
    char bytes[13];
    std::memset(bytes, ' ', sizeof bytes);
    std::copy_n(thirteen.begin(), std::min(thirteen.size(), sizeof bytes), bytes);
    std::memcpy(m_number, bytes, 3);
    std::memcpy(m_code, bytes + 3, 10);
}

namespace {

// Commas and CR LF line ends of a text, counted in one pass; at every line end
// `stop` may end the count early.
struct CCommaCount {
    long commas = 0;
    long lines = 0;
    bool stopped = false;
};

template <class Stop>
CCommaCount CountCommasAndLines(std::string_view text, Stop stop) {
    CCommaCount count;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',') {
            ++count.commas;
        } else if (c == '\n' && i > 0 && text[i - 1] == '\r') {
            ++count.lines;
            if (stop(count)) {
                count.stopped = true;
                break;
            }
        }
    }
    return count;
}

}  // namespace

int CountCodeListLines(std::string_view text) {
    if (text.empty()) return 0;
    const CCommaCount count =
        CountCommasAndLines(text, [](const CCommaCount& c) { return c.commas != c.lines; });
    return count.stopped ? 0 : static_cast<int>(count.lines);
}

int CountTerv210Records(std::string_view text) {
    if (text.empty()) return 0;
    const CCommaCount count =
        CountCommasAndLines(text, [](const CCommaCount& c) { return c.commas / 4 != c.lines; });
    if (count.stopped) return static_cast<int>(count.commas / 4);
    if (count.commas > 0 && count.commas % 4 != 0) return 0;
    return static_cast<int>(count.lines);
}

int CountRawCodeMarkers(std::string_view text) {
    if (text.empty() || text[0] != 0x02) return 0;
    const size_t n = text.size();
    const bool eot = n >= 3 && text[n - 3] == 0x04;
    const bool cr = n >= 2 && text[n - 2] == '\r';
    const bool lf = text[n - 1] == '\n';
    if (!eot && !cr && !lf) return 0;
    int count = 0;
    for (size_t p = text.find("_:"); p != std::string_view::npos; p = text.find("_:", p + 1))
        ++count;
    return count;
}

std::string LineNote(int lineNumber) {
    return "第" + std::to_string(lineNumber) + "行";
}

bool SplitTerv210Lines(std::string_view text, std::vector<CTervLine>& lines,
                       const char* baseMessage, std::string* message) {
    lines.clear();
    lines.reserve(text.size() / 24);
    CTervLineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        if (IsBlankLine(line)) continue;
        CTervLine& record = lines.emplace_back();
        record.m_lineNumber = reader.LineNumber();
        // Exactly four commas: a fifth one would shift the height into a sixth column.
        if (!SplitTervFields(line, record.m_fields) ||
            record.m_fields[4].find(',') != std::string_view::npos) {
            lines.pop_back();
            if (message) *message = std::string(baseMessage) + "\n" + LineNote(reader.LineNumber());
            return false;
        }
    }
    return true;
}

bool ReadTerv210Upload(std::string_view text, std::vector<CTervLine>& lines, std::string* message) {
    if (!SplitTerv210Lines(text, lines, convert_msg::kBadTerv210, message)) {
        lines.clear();
        return false;
    }
    for (const CTervLine& line : lines) {
        bool record = true;
        // A lone CR or LF would end the line early on the instrument.
        for (const std::string_view field : line.m_fields)
            record = record && field.find_first_of("\r\n") == std::string_view::npos;
        numtext::CDecimal number;
        for (int k = 2; k < 5 && record; ++k)
            record = numtext::ParseDecimal(line.m_fields[k], number);
        if (!record) {
            if (message)
                *message =
                    std::string(convert_msg::kBadTerv210) + "\n" + LineNote(line.m_lineNumber);
            lines.clear();
            return false;
        }
    }
    if (lines.empty() && !text.empty()) {
        if (message) *message = convert_msg::kBadTerv210;
        return false;
    }
    return true;
}

bool ParseTerv210Records(std::string_view text, std::vector<CoordRecord>& table,
                         std::string* message) {
    std::vector<CTervLine> lines;
    if (!SplitTerv210Lines(text, lines, convert_msg::kConvertFailed, message)) return false;
    table.assign(lines.size(), CoordRecord{});
    for (size_t i = 0; i < lines.size(); ++i) {
        CoordRecord& record = table[i];
        bool whole = true;
        whole &= CoordRecord::SetField(record.m_szName, lines[i].m_fields[0]);
        whole &= CoordRecord::SetField(record.m_szCode, lines[i].m_fields[1]);
        whole &= CoordRecord::SetField(record.m_szEast, lines[i].m_fields[2]);
        whole &= CoordRecord::SetField(record.m_szNorth, lines[i].m_fields[3]);
        whole &= CoordRecord::SetField(record.m_szHeight, lines[i].m_fields[4]);
        if (!whole) {
            if (message)
                *message = std::string(convert_msg::kConvertFailed) + "\n" +
                           LineNote(lines[i].m_lineNumber);
            table.resize(i);
            return false;
        }
    }
    return true;
}
