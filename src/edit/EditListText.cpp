#include "edit/EditListText.h"

#include <cstring>

#include "convert/RecordFormats.h"
#include "convert/TervLines.h"
#include "edit/EditState.h"
#include "edit/FieldText.h"
#include "edit/RecordTables.h"

namespace {

// Record field at each line position / list column.
constexpr int kFieldAt[2][5] = {
    {kFieldName, kFieldEast, kFieldNorth, kFieldHeight, kFieldCode},  // TERV810 order
    {kFieldName, kFieldCode, kFieldEast, kFieldNorth, kFieldHeight},  // TERV210 order
};

int FormatIndex(std::uint8_t format) {
    return format == kTerv210Order ? 1 : 0;
}

void StoreFixed(char* field, std::size_t width, std::string_view value) {
    const std::string_view cut = CutToField(value, width);
    std::memset(field, 0, width);
    std::memcpy(field, cut.data(), cut.size());
}

}  // namespace

int CoordFieldOfColumn(int column, std::uint8_t format) {
    return kFieldAt[FormatIndex(format)][column];
}

int CoordColumnOfField(int field, std::uint8_t format) {
    for (int column = 0; column < 5; ++column)
        if (kFieldAt[FormatIndex(format)][column] == field) return column;
    return -1;
}

std::array<const char*, 5> CoordHeadings(std::uint8_t format) {
    if (format == kTerv210Order) return {"点名", "编码", "坐标N", "坐标E", "坐标Z"};
    return {"点名", "坐标E", "坐标N", "坐标Z", "编码"};
}

namespace {

// Rebuilds a table from the first `count` lines ended by CR LF: count + 1 fresh
// records (the old table is freed first), then `store` fills one record from a
// line and returns false to end the reading. Sets `read` to the records read.
template <class Record, class Store>
void LoadTable(std::string_view text, int count, std::vector<Record>& table, int& read,
               Store store) {
    table.clear();
    table.shrink_to_fit();
    read = 0;
    table.assign(static_cast<std::size_t>(count) + 1, Record{});
    CTervLineReader reader(text, ELastLine::kDropped);
    std::string_view line;
    int n = 0;
    while (n < count && reader.Next(line) && store(line, table[static_cast<std::size_t>(n)])) ++n;
    read = n;
}

}  // namespace

void LoadCoordRecords(std::string_view text, std::uint8_t format) {
    // The last field may itself hold commas.
    LoadTable(text, CountTerv210Records(text), g_pCoordRecords, g_nCoordCount,
              [format](std::string_view line, CoordRecord& record) {
                  std::string_view fields[5];
                  if (!SplitTervFields(line, fields)) return false;
                  for (int column = 0; column < 5; ++column)
                      StoreFixed(record.Field(CoordFieldOfColumn(column, format)),
                                 CoordRecord::kFieldSize - 1, fields[column]);
                  return true;
              });
}

void LoadCodeRecords(std::string_view text) {
    LoadTable(text, CountCodeListLines(text), g_pCodeRecords, g_nCodeCount,
              [](std::string_view line, CodeRecord& record) {
                  const std::size_t comma = line.find(',');
                  if (comma == std::string_view::npos) return false;
                  StoreFixed(record.m_number, sizeof record.m_number, line.substr(0, comma));
                  StoreFixed(record.m_code, sizeof record.m_code, line.substr(comma + 1));
                  return true;
              });
}

std::string_view FieldText(const char* field, std::size_t width) {
    const void* nul = std::memchr(field, 0, width);
    return {field, nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - field) : width};
}

std::array<std::string, 5> CoordRowCells(const CoordRecord& record, std::uint8_t format) {
    std::array<std::string, 5> cells;
    for (int column = 0; column < 5; ++column)
        cells[static_cast<std::size_t>(column)] = std::string(
            FieldText(record.Field(CoordFieldOfColumn(column, format)), CoordRecord::kFieldSize));
    return cells;
}

void AppendListLine(std::string& out, const std::vector<std::string>& cells, std::size_t maxBytes) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i > 0) out.push_back(',');
        out.append(CutToField(cells[i], maxBytes));
    }
    out.append("\r\n");
}
