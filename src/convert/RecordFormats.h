// Text record formats: the coordinate and code records, the validators of the view
// text formats, and the parser that reads coordinate records from TERV210 text.
// Everything here works on code page 936 bytes and touches only what it is given.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One line of a TERV210 coordinate list: five NUL-terminated fields of at most
// 14 characters each.
struct CoordRecord {
    static constexpr size_t kFieldSize = 15;
    char m_szName[kFieldSize]{};
    char m_szCode[kFieldSize]{};
    char m_szEast[kFieldSize]{};
    char m_szNorth[kFieldSize]{};
    char m_szHeight[kFieldSize]{};

    // Field i in TERV210 column order (0 name, 1 code, 2 east, 3 north, 4 height).
    char* Field(int i);
    const char* Field(int i) const;
    // Stores at most 14 characters; returns false when the value had to be cut.
    static bool SetField(char (&field)[kFieldSize], std::string_view value);
};

// A raw code record as the instrument sends it after "_:": 3-character number and
// 10-character space-padded code, no terminator.
struct CodeRecord {
    char m_number[3]{' ', ' ', ' '};
    char m_code[10]{' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

    std::string_view Number() const { return {m_number, sizeof m_number}; }
    std::string_view Code() const { return {m_code, sizeof m_code}; }
    // Copies up to 13 bytes (number then code); missing bytes stay spaces.
    void Assign(std::string_view thirteen);
};
static_assert(sizeof(CoordRecord) == 75);
static_assert(sizeof(CodeRecord) == 13);

// Number of code list lines (one comma each, every line ended by CR LF), or 0 when
// the text is not a code list. A last line without CR LF is not counted.
int CountCodeListLines(std::string_view text);

// Number of TERV210 records, or 0 when the text is not TERV210 text. The check is
// cumulative over the commas, as the instruments' own tools count.
int CountTerv210Records(std::string_view text);

// Number of "_:" markers of a framed raw code text, or 0 when it is not one.
int CountRawCodeMarkers(std::string_view text);

// The five fields of one TERV210 line (views into the text), and its 1-based line
// number in the text.
struct CTervLine {
    std::string_view m_fields[5];
    int m_lineNumber = 0;
};

// Splits TERV210 text into its records. Blank lines are skipped; every other line
// must hold exactly four commas. A last line without CR LF is a record too, so no
// point is dropped. On failure `message` receives `baseMessage` and a second line
// naming the offending line. Call after CountTerv210Records accepted the text.
bool SplitTerv210Lines(std::string_view text, std::vector<CTervLine>& lines,
                       const char* baseMessage, std::string* message);

// The coordinate lines an upload sends, read alike by every coordinate upload
// (QMX210 blocks, QMX610/710 "/Dg " lines, USB): blank lines are skipped, a
// last line without CR LF is a record like the others, and every other line
// must be a TERV210 record: four commas, numbers in the three coordinate
// columns, no stray CR or LF. Anything else refuses the whole list, with
// "不是有效的TERV210格式!" in `message` and a second line naming the line. An
// empty text gives no lines; a text of blank lines only is refused.
bool ReadTerv210Upload(std::string_view text, std::vector<CTervLine>& lines, std::string* message);

// Fills `table` (resized to the number of records) from TERV210 text. Fails with
// "转换失败!" and the offending line when a line does not hold five fields or a
// field is longer than 14 characters (it would not fit its record field).
bool ParseTerv210Records(std::string_view text, std::vector<CoordRecord>& table,
                         std::string* message);

// Second line of a refusal that names a line of the text ("第N行"), UTF-8.
std::string LineNote(int lineNumber);
