// TERV210 coordinate list to a release 10 DXF drawing: one POINT and one TEXT
// label per point, on a fixed header, layer table and block section.
#include "convert/ConvertMessages.h"
#include "convert/Converters.h"
#include "convert/NumberText.h"

namespace {

// Everything before the entities is the same for every drawing. Two lines of each
// attribute definition end in LF alone, as the drawing programs of the instruments
// write them.
constexpr std::string_view kDxfHead =
    "  0\r\nSECTION\r\n  2\r\nHEADER\r\n"
    "  9\r\n$EXTMIN\r\n 10\r\n0.0\r\n 20\r\n0.0\r\n"
    "  9\r\n$EXTMAX\r\n 10\r\n10000.0\r\n 20\r\n10000.0\r\n"
    "  9\r\n$LIMMIN\r\n 10\r\n10000.0\r\n 20\r\n9990.85\r\n"
    "  9\r\n$LIMMAX\r\n 10\r\n10007.86\r\n 20\r\n10005.49\r\n"
    "  9\r\n$VIEWCTR\r\n 10\r\n5003.93\r\n 20\r\n5002.67\r\n"
    "  9\r\n$TEXTSIZE\r\n 40\r\n0.0002\r\n"
    "  9\r\n$ACADVER\r\n  1\r\nAC1006\r\n"
    "  9\r\n$TEXTSTYLE\r\n  7\r\nMONOTXT\r\n"
    "  0\r\nENDSEC\r\n"
    "  0\r\nSECTION\r\n  2\r\nTABLES\r\n  0\r\nTABLE\r\n  2\r\nLAYER\r\n 70\r\n5\r\n"
    "  0\r\nLAYER\r\n  2\r\nSYMBOL\r\n 70\r\n0\r\n 62\r\n7\r\n  6\r\nCONTINUOUS\r\n"
    "  0\r\nLAYER\r\n  2\r\nATTRIBUTE\r\n 70\r\n0\r\n 62\r\n7\r\n  6\r\nCONTINUOUS\r\n"
    "  0\r\nLAYER\r\n  2\r\nLINE\r\n 70\r\n0\r\n 62\r\n7\r\n  6\r\nCONTINUOUS\r\n"
    "  0\r\nLAYER\r\n  2\r\nANNOTATION\r\n 70\r\n0\r\n 62\r\n7\r\n  6\r\nCONTINUOUS\r\n"
    "  0\r\nLAYER\r\n  2\r\nPLANFORM\r\n70\r\n0\r\n62\r\n7\r\n6\r\nCONTINUOUS\r\n"
    "0\r\nENDTAB\r\n0\r\nENDSEC\r\n"
    "0\r\nSECTION\r\n  2\r\nBLOCKS\r\n"
    "  0\r\nBLOCK\r\n  2\r\nSYMBOL\r\n  70\r\n  66\r\n 10\r\n0.0\r\n 20\r\n0.0\r\n 30\r\n0.0\r\n"
    "  0\r\nLINE\r\n  8\r\nSYMBOL\r\n 10\r\n0.0\r\n 20\r\n0.5\r\n 30\r\n0.0\r\n"
    " 11\r\n0.0\r\n 21\r\n-0.5\r\n 31\r\n0.0\r\n"
    " 0\r\nLINE\r\n 8\r\nSYMBOL\r\n 10\r\n0.5\r\n 20\r\n0.0\r\n 30\r\n0.0\r\n"
    " 11\r\n-0.5\r\n 21\r\n0.0\r\n 31\r\n0.0\r\n"
    "  0\r\nENDBLK\r\n"
    "  0\r\nBLOCK\r\n  2\r\nDEFAULT\r\n  70\r\n  66\r\n 10\r\n0.0\r\n 20\r\n0.0\r\n 30\r\n0.0\r\n"
    "  0\r\nATTDEF\r\n  8\r\nATTRIBUTE\r\n 10\r\n0.0\r\n 20\r\n-0.0004\r\n 30\r\n0.0\r\n"
    " 40\r\n0.0002\r\n  1\r\n  r\n  3\r\n  r\n 2\r\nPOINTID\r\n  70\r\n  1\r\n"
    "  0\r\nATTDEF\r\n  8\r\nATTRIBUTE\r\n 10\r\n0.0\r\n 20\r\n-0.0008\r\n 30\r\n0.0\r\n"
    " 40\r\n0.0002\r\n  1\r\n  r\n  3\r\n  r\n 2\r\nCODE\r\n  70\r\n  1\r\n"
    "  0\r\nENDBLK\r\n  0\r\nENDSEC\r\n"
    "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";

constexpr std::string_view kDxfTail = "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";

}  // namespace

CConvertResult OnDxfExport(std::string_view text, std::vector<CoordRecord>* tableOut) {
    if (CountTerv210Records(text) == 0) return CConvertResult::Failed(convert_msg::kBadTerv210Dxf);
    std::vector<CoordRecord> table;
    std::string message;
    if (!ParseTerv210Records(text, table, &message))
        return CConvertResult::Failed(std::move(message));

    // The coordinates must be numbers: a label at a made-up place helps nobody.
    // Each is written once and used for the point, the label and its text.
    std::vector<std::string> values(table.size() * 3);
    for (size_t i = 0; i < table.size(); ++i) {
        const char* fields[3] = {table[i].m_szEast, table[i].m_szNorth, table[i].m_szHeight};
        for (int k = 0; k < 3; ++k) {
            numtext::CDecimal number;
            if (!numtext::ParseDecimal(fields[k], number)) {
                std::vector<CTervLine> lines;
                SplitTerv210Lines(text, lines, convert_msg::kConvertFailed, nullptr);
                return CConvertResult::Failed(std::string(convert_msg::kConvertFailed) + "\n" +
                                              LineNote(lines[i].m_lineNumber));
            }
            numtext::AppendDecimal(values[i * 3 + k], number, 4);
        }
    }

    std::string out;
    out.reserve(kDxfHead.size() + kDxfTail.size() + table.size() * 240);
    out.append(kDxfHead);
    for (size_t i = 0; i < table.size(); ++i) {
        const CoordRecord& record = table[i];
        const std::string* v = &values[i * 3];
        // The point sits at its full coordinates, like its label.
        out.append("  0\r\nPOINT\r\n  8\r\nPOINT\r\n 10\r\n").append(v[0]);
        out.append("\r\n 20\r\n").append(v[1]).append("\r\n 30\r\n").append(v[2]);
        out.append("\r\n  0\r\nTEXT\r\n  8\r\nANNOTATION\r\n 10\r\n").append(v[0]);
        out.append("\r\n 20\r\n").append(v[1]).append("\r\n 30\r\n").append(v[2]);
        out.append("\r\n 40\r\n1.00000\r\n 50\r\n0.00000\r\n  1\r\n");
        out.append(record.m_szName).append(" ").append(record.m_szCode).append(" ");
        out.append(v[2]).append("\r\n");
    }
    out.append(kDxfTail);
    if (tableOut) *tableOut = std::move(table);
    return CConvertResult::Done(std::move(out));
}
