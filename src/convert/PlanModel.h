// What the plan view draws, computed once per text: the points with their
// bounds, codes and the usual field mistakes flagged, and the indexes that
// make identifying a point and finding the point of a line cheap at any size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/SurveyPoints.h"

struct CPlanBounds {
    double minE = 0, minN = 0, maxE = 0, maxN = 0;
    bool valid = false;  // false: no point can be placed
};

struct CPlanCode {
    std::string code;  // bytes as in the text; empty: points without a code
    size_t count = 0;
};

// Why a point is in the checklist (bits).
enum EPlanFlag : uint8_t {
    kPlanZero = 1,       // exactly 0,0,0: the instrument's empty record
    kPlanDuplicate = 2,  // its name is used by another point too
    kPlanUnplaced = 4,   // east or north is no number, or absurdly far out
};

class CPlanModel {
public:
    static constexpr size_t npos = static_cast<size_t>(-1);

    CPlanModel() = default;
    // text: the text the points were read from (for its lines); may be empty
    // when nobody asks for lines.
    CPlanModel(CSurveyPoints points, std::string_view text);

    ESurveyForm Form() const { return m_form; }
    const std::vector<CSurveyPoint>& Points() const { return m_points; }
    size_t Size() const { return m_points.size(); }
    // Over every point that can be placed, 0,0,0 included: a stray point at
    // the origin is exactly what a glance at the whole plan should show.
    const CPlanBounds& Bounds() const { return m_bounds; }

    // Codes with their counts, most used first (ties by code bytes).
    const std::vector<CPlanCode>& Codes() const { return m_codes; }
    // Index into Codes() of a point's code.
    uint32_t CodeOf(size_t point) const { return m_codeOf[point]; }
    uint8_t Flags(size_t point) const { return m_flags[point]; }
    // The flagged points in the order of the text.
    const std::vector<size_t>& Flagged() const { return m_flagged; }

    // The placed point nearest to e,n no farther than maxDistance metres
    // (any distance when it is infinite); among equally near ones the first
    // read. npos when there is none.
    size_t Nearest(double e, double n, double maxDistance) const;

    // The placed points ordered by place (bands from south to north, west to
    // east within each): drawn in this order, neighbours on the screen are
    // neighbours in memory.
    std::vector<uint32_t> PointsByPlace() const;

    // Lines of the text: a CR LF pair, a lone CR and a lone LF each end one,
    // as the text view counts them.
    size_t LineCount() const { return m_lineStarts.size(); }
    size_t LineOf(size_t offset) const;
    size_t LineStart(size_t line) const;
    // The line a point was read from.
    size_t LineOfPoint(size_t point) const { return m_lineOf[point]; }
    // The first point (in the order read) that was read from the line; npos
    // when none was.
    size_t PointOnLine(size_t line) const;
    // Lines of the form that gave no point (a value that is no number, a
    // record cut off), in text order.
    const std::vector<size_t>& UnreadLines() const { return m_unreadLines; }

private:
    void IndexLines(std::string_view text);
    void CountCodes();
    void FlagMistakes();
    void BuildGrid();
    int64_t CellX(double e) const;
    int64_t CellY(double n) const;

    ESurveyForm m_form = ESurveyForm::kNone;
    std::vector<CSurveyPoint> m_points;
    CPlanBounds m_bounds;
    std::vector<CPlanCode> m_codes;
    std::vector<uint32_t> m_codeOf;
    std::vector<uint8_t> m_flags;
    std::vector<size_t> m_flagged;

    std::vector<size_t> m_lineStarts;  // byte offset of every line's start
    std::vector<size_t> m_lineOf;      // per point
    std::vector<uint32_t> m_byLine;    // points ordered by line, then as read
    std::vector<size_t> m_unreadLines;

    // A grid of square cells from the bounds' corner: each placed point with
    // its cell (row, column, point packed in one number), ordered by cell.
    double m_cellSize = 1;
    std::vector<uint64_t> m_cells;
};

// The screen transform of a plan: north up, east right, one scale for both
// axes (pixels per metre) about a centre point.
struct CPlanTransform {
    double centerE = 0, centerN = 0;
    double scale = 1;
    double width = 0, height = 0;  // pixels

    double X(double e) const { return width / 2 + (e - centerE) * scale; }
    double Y(double n) const { return height / 2 - (n - centerN) * scale; }
    double E(double x) const { return centerE + (x - width / 2) / scale; }
    double N(double y) const { return centerN - (y - height / 2) / scale; }
    // Zooms by factor keeping the ground under x,y where it is.
    void ZoomAbout(double x, double y, double factor);
};

// Scales a plan may take (pixels per metre): from a country on a screen to
// a tenth of a millimetre per pixel.
inline constexpr double kPlanMinScale = 1e-6, kPlanMaxScale = 1e4;

// All of the bounds in width x height less a margin on every side. A single
// place (or none) is shown at 10 pixels per metre.
CPlanTransform FitPlan(const CPlanBounds& bounds, double width, double height, double margin);

// A round length for the scale bar (1, 2 or 5 times a power of ten metres)
// no longer than maxPixels at the scale, and its text ("50 m", "2 km", "0.5 m").
double ScaleBarMetres(double scale, double maxPixels);
std::string ScaleBarText(double metres);
// "1:2,500" for a plan drawn at scale pixels per metre on a device of dpi dots
// per inch, rounded to three significant digits.
std::string PaperScaleText(double scale, double dpi);
// 26567 -> "26,567".
std::string GroupedCount(size_t n);
