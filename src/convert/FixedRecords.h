// Where the fields of the QMX610/710 fixed-width records stand. Offsets count
// from the first character of the record's tag; the tag and two more characters
// come before the first field.
#pragma once

#include <cstddef>
#include <string_view>

struct CFixedField {
    std::size_t m_offset;
    std::size_t m_width;
};

// A coordinate record ("08KI", "02TP", "08TP").
struct CCoordRecordLayout {
    std::string_view m_tag;
    std::size_t m_length;  // without CR LF
    std::size_t m_next;    // a pass searches on this far after a record's tag
    CFixedField m_name, m_north, m_east, m_height, m_code;
};

inline constexpr CCoordRecordLayout k08KiRecord{"08KI",   84,       78,       {6, 14},
                                                {20, 16}, {36, 16}, {52, 16}, {68, 16}};
// "02TP" has one more field before the code, which nobody reads.
inline constexpr CCoordRecordLayout k02TpRecord{"02TP",   100,      94,       {6, 14},
                                                {20, 16}, {36, 16}, {52, 16}, {84, 16}};
inline constexpr CCoordRecordLayout k08TpRecord{"08TP",   84,       78,       {6, 14},
                                                {20, 16}, {36, 16}, {52, 16}, {68, 16}};

// An angle-and-distance record ("09F1", "09F2"): the point name, then five
// measurement fields of which the last is read only to its 14th character.
struct CMeasureRecordLayout {
    std::string_view m_tag;
    std::size_t m_length;  // without CR LF
    std::size_t m_next;
    CFixedField m_name;
    CFixedField m_values[5];
};

inline constexpr CMeasureRecordLayout k09F1Record{
    "09F1", 100, 94, {6, 14}, {{20, 16}, {36, 16}, {52, 16}, {68, 16}, {84, 14}}};
inline constexpr CMeasureRecordLayout k09F2Record{
    "09F2", 100, 94, {6, 14}, {{20, 16}, {36, 16}, {52, 16}, {68, 16}, {84, 14}}};

// Every record ends with its code or its last measurement field.
static_assert(k08KiRecord.m_code.m_offset + k08KiRecord.m_code.m_width == k08KiRecord.m_length);
static_assert(k02TpRecord.m_code.m_offset + k02TpRecord.m_code.m_width == k02TpRecord.m_length);
static_assert(k08TpRecord.m_code.m_offset + k08TpRecord.m_code.m_width == k08TpRecord.m_length);
static_assert(k09F1Record.m_values[4].m_offset + 16 == k09F1Record.m_length);

// A QMX210 coordinate record inside the unframed blocks: "_+", the point name,
// then "_ x", "_ y" and "_ z" each followed by its value.
struct CQmx210CoordLayout {
    std::size_t m_nameOffset;   // after "_+"
    std::size_t m_nameWidth;    // padded with spaces
    std::size_t m_valueOffset;  // after "_ x", "_ y" or "_ z"
    std::size_t m_valueWidth;   // sign, 6 digits of metres, 3 of millimetres
};
inline constexpr CQmx210CoordLayout kQmx210Coord{2, 10, 3, 10};
