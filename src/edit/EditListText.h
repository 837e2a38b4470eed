// Splitting the view text into the rows of the list dialogs and joining them
// again. Pure: works on code page 936 bytes and the two record tables
// (edit/RecordTables.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct CoordRecord;

// Widths the tables hold and the write-back keeps (bytes of code page 936).
inline constexpr std::size_t kCoordCellBytes = 14;
inline constexpr std::size_t kCodeNumberBytes = 3;
inline constexpr std::size_t kCodeTextBytes = 10;

// Record fields of a coordinate, in CoordRecord::Field order.
enum CoordField {
    kFieldName = 0,
    kFieldCode = 1,
    kFieldEast = 2,
    kFieldNorth = 3,
    kFieldHeight = 4
};

// List column (= position in the line, 0-based) of a record field in an edit format.
int CoordColumnOfField(int field, std::uint8_t format);
// Record field shown in a list column.
int CoordFieldOfColumn(int column, std::uint8_t format);
// UTF-8 column headings of the coordinate list in an edit format.
std::array<const char*, 5> CoordHeadings(std::uint8_t format);

// Rebuilds g_pCoordRecords (count + 1 records) from the view text in the given
// edit format and sets g_nCoordCount to the records read. Throws std::bad_alloc
// when the table cannot be had. Lines are taken while CountTerv210Records counts
// them; a line without four commas ends the reading. Fields longer than the
// table's 14 bytes are cut on a character boundary.
void LoadCoordRecords(std::string_view text, std::uint8_t format);

// Rebuilds g_pCodeRecords (count + 1 records) from a code list text and sets
// g_nCodeCount. Number and code are cut to 3 and 10 bytes; the rest of a field
// is filled with NUL so the stored length survives.
void LoadCodeRecords(std::string_view text);

// The text of a fixed-width field up to its first NUL.
std::string_view FieldText(const char* field, std::size_t width);

// Cells of a stored coordinate record in list column order.
std::array<std::string, 5> CoordRowCells(const CoordRecord& record, std::uint8_t format);

// One line of a list: the cells cut to maxBytes, joined by ",", ended by CR LF.
void AppendListLine(std::string& out, const std::vector<std::string>& cells, std::size_t maxBytes);
