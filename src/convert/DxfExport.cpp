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

CConvertResult OnDxfExport(std::string_view text) {
    if (CountTerv210Records(text) == 0) return CConvertResult::Failed(convert_msg::kBadTerv210Dxf);
    std::vector<CTervLine> lines;
    std::string message;
    if (!SplitTerv210Lines(text, lines, convert_msg::kConvertFailed, &message))
        return CConvertResult::Failed(std::move(message));
    const auto refuse = [](const CTervLine& line) {
        return CConvertResult::Failed(std::string(convert_msg::kConvertFailed) + "\n" +
                                      LineNote(line.m_lineNumber));
    };

    std::string out;
    out.reserve(kDxfHead.size() + kDxfTail.size() + lines.size() * 240);
    out.append(kDxfHead);
    std::string values[3];
    for (const CTervLine& line : lines) {
        // Every field fits a record field of the coordinate table, and the
        // coordinates are numbers: a label at a made-up place helps nobody.
        for (const std::string_view field : line.m_fields)
            if (field.size() >= CoordRecord::kFieldSize) return refuse(line);
        for (int k = 0; k < 3; ++k) {
            numtext::CDecimal number;
            if (!numtext::ParseDecimal(line.m_fields[2 + k], number)) return refuse(line);
            values[k].clear();
            numtext::AppendDecimal(values[k], number, 4);
        }
        // The point sits at its full coordinates, like its label.
        out.append("  0\r\nPOINT\r\n  8\r\nPOINT\r\n 10\r\n").append(values[0]);
        out.append("\r\n 20\r\n").append(values[1]).append("\r\n 30\r\n").append(values[2]);
        out.append("\r\n  0\r\nTEXT\r\n  8\r\nANNOTATION\r\n 10\r\n").append(values[0]);
        out.append("\r\n 20\r\n").append(values[1]).append("\r\n 30\r\n").append(values[2]);
        out.append("\r\n 40\r\n1.00000\r\n 50\r\n0.00000\r\n  1\r\n");
        out.append(line.m_fields[0]).append(" ").append(line.m_fields[1]).append(" ");
        out.append(values[2]).append("\r\n");
    }
    out.append(kDxfTail);
    return CConvertResult::Done(std::move(out));
}
