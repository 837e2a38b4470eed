#include "convert/PlanModel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <numeric>
#include <string_view>
#include <unordered_map>

namespace {
// About two points per cell keeps a look-up to a handful of distances. Only
// cells that hold points are kept, so stray points far out cost nothing.
constexpr double kPointsPerCell = 2.0;

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Farther than this from the origin is no place on Earth in any grid; such a
// number would only break the arithmetic of drawing.
constexpr double kFarthest = 1e12;

bool Placed(const CSurveyPoint& p) {
    return std::abs(p.e) <= kFarthest && std::abs(p.n) <= kFarthest;  // false for NaN
}
}  // namespace

CPlanModel::CPlanModel(CSurveyPoints points, std::string_view text)
    : m_form(points.form), m_points(std::move(points.points)) {
    m_flags.assign(m_points.size(), 0);
    for (const CSurveyPoint& p : m_points) {
        if (!Placed(p)) continue;
        if (!m_bounds.valid) {
            m_bounds = {p.e, p.n, p.e, p.n, true};
            continue;
        }
        m_bounds.minE = std::min(m_bounds.minE, p.e);
        m_bounds.maxE = std::max(m_bounds.maxE, p.e);
        m_bounds.minN = std::min(m_bounds.minN, p.n);
        m_bounds.maxN = std::max(m_bounds.maxN, p.n);
    }
    IndexLines(text);
    for (size_t offset : points.unread) m_unreadLines.push_back(LineOf(offset));
    CountCodes();
    FlagMistakes();
    BuildGrid();
}

void CPlanModel::IndexLines(std::string_view text) {
    m_lineStarts.clear();
    m_lineStarts.reserve(text.size() / 32 + 1);
    m_lineStarts.push_back(0);
    const char* data = text.data();
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = data[i];
        if (c > '\r') continue;  // nearly every byte: one test
        if (c == '\r') {
            if (i + 1 < text.size() && data[i + 1] == '\n') ++i;
            m_lineStarts.push_back(i + 1);
        } else if (c == '\n') {
            m_lineStarts.push_back(i + 1);
        }
    }
    // Points come in text order as a rule: each line is found from the last.
    m_lineOf.resize(m_points.size());
    size_t line = 0;
    bool ordered = true;
    for (size_t i = 0; i < m_points.size(); ++i) {
        const size_t offset = m_points[i].lineStart;
        if (offset < m_lineStarts[line]) {
            line = LineOf(offset);
            ordered = false;
        } else {
            while (line + 1 < m_lineStarts.size() && m_lineStarts[line + 1] <= offset) ++line;
        }
        m_lineOf[i] = line;
    }
    m_byLine.resize(m_points.size());
    std::iota(m_byLine.begin(), m_byLine.end(), 0u);
    if (!ordered)
        std::stable_sort(m_byLine.begin(), m_byLine.end(),
                         [this](uint32_t a, uint32_t b) { return m_lineOf[a] < m_lineOf[b]; });
}

size_t CPlanModel::LineOf(size_t offset) const {
    const auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), offset);
    return static_cast<size_t>(it - m_lineStarts.begin()) - 1;
}

size_t CPlanModel::LineStart(size_t line) const {
    return line < m_lineStarts.size() ? m_lineStarts[line] : npos;
}

size_t CPlanModel::PointOnLine(size_t line) const {
    const auto it = std::lower_bound(m_byLine.begin(), m_byLine.end(), line,
                                     [this](uint32_t p, size_t l) { return m_lineOf[p] < l; });
    return it != m_byLine.end() && m_lineOf[*it] == line ? *it : npos;
}

void CPlanModel::CountCodes() {
    std::map<std::string_view, size_t> counts;
    for (const CSurveyPoint& p : m_points) ++counts[p.code];
    std::vector<std::pair<std::string_view, size_t>> order(counts.begin(), counts.end());
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    std::unordered_map<std::string_view, uint32_t> index;
    m_codes.reserve(order.size());
    for (const auto& [code, count] : order) {
        index.emplace(code, static_cast<uint32_t>(m_codes.size()));
        m_codes.push_back({std::string(code), count});
    }
    m_codeOf.resize(m_points.size());
    for (size_t i = 0; i < m_points.size(); ++i) m_codeOf[i] = index.at(m_points[i].code);
}

void CPlanModel::FlagMistakes() {
    // Names are compared without the blanks that fixed-width records pad them
    // with, in a table of their own: one allocation however many points.
    size_t slots = 16;
    while (slots < 2 * m_points.size()) slots *= 2;
    constexpr uint32_t kEmpty = UINT32_MAX;
    std::vector<uint32_t> firstOf(slots, kEmpty);
    for (size_t i = 0; i < m_points.size(); ++i) {
        const CSurveyPoint& p = m_points[i];
        if (p.e == 0 && p.n == 0 && p.z == 0) m_flags[i] |= kPlanZero;
        if (!Placed(p)) m_flags[i] |= kPlanUnplaced;
        const std::string_view name = TrimRight(p.name);
        if (name.empty()) continue;
        uint64_t hash = 14695981039346656037ull;  // FNV-1a
        for (char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        for (size_t slot = hash & (slots - 1);; slot = (slot + 1) & (slots - 1)) {
            const uint32_t first = firstOf[slot];
            if (first == kEmpty) {
                firstOf[slot] = static_cast<uint32_t>(i);
                break;
            }
            if (TrimRight(m_points[first].name) == name) {
                m_flags[first] |= kPlanDuplicate;
                m_flags[i] |= kPlanDuplicate;
                break;
            }
        }
    }
    for (uint32_t i : m_byLine)
        if (m_flags[i]) m_flagged.push_back(i);
}

namespace {
// The spread of the bulk of the values (the 2nd to the 98th percentile of a
// sample), so that a few stray points far away do not coarsen the grid for
// the rest.
double BulkSpread(std::vector<double>& sample) {
    if (sample.size() < 2) return 0;
    const size_t lo = sample.size() / 50, hi = sample.size() - 1 - lo;
    std::nth_element(sample.begin(), sample.begin() + static_cast<long>(lo), sample.end());
    const double low = sample[lo];
    std::nth_element(sample.begin(), sample.begin() + static_cast<long>(hi), sample.end());
    return sample[hi] - low;
}

// A cell (row, column) and a point in one number, so that sorting numbers
// sorts the points by cell.
constexpr int kCellBits = 21, kPointBits = 22;
constexpr uint64_t kPointMask = (uint64_t{1} << kPointBits) - 1;

uint64_t Packed(int64_t x, int64_t y) {
    return (static_cast<uint64_t>(y) << (kCellBits + kPointBits)) |
           (static_cast<uint64_t>(x) << kPointBits);
}
}  // namespace

int64_t CPlanModel::CellX(double e) const {
    return static_cast<int64_t>(std::floor((e - m_bounds.minE) / m_cellSize));
}

int64_t CPlanModel::CellY(double n) const {
    return static_cast<int64_t>(std::floor((n - m_bounds.minN) / m_cellSize));
}

void CPlanModel::BuildGrid() {
    m_cells.clear();
    // Beyond any text the program reads; such a model is searched point by point.
    if (!m_bounds.valid || m_points.size() > kPointMask) return;
    constexpr size_t kSample = 2048;
    const size_t stride = std::max<size_t>(1, m_points.size() / kSample);
    std::vector<double> es, ns;
    size_t placed = 0;
    for (size_t i = 0; i < m_points.size(); ++i) {
        if (m_flags[i] & kPlanUnplaced) continue;
        if (placed++ % stride) continue;
        es.push_back(m_points[i].e);
        ns.push_back(m_points[i].n);
    }
    const double w = BulkSpread(es), h = BulkSpread(ns);
    const double cells = std::max(1.0, static_cast<double>(placed) / kPointsPerCell);
    double size = std::sqrt(w * h / cells);
    // A line of points (or one place) has no area: cut its length instead.
    if (!(size > 0)) size = std::max(w, h) / cells;
    // Cell numbers fit their bits over the whole extent.
    const double extent = std::max(m_bounds.maxE - m_bounds.minE, m_bounds.maxN - m_bounds.minN);
    size = std::max(size, extent / ((1 << kCellBits) - 1));
    if (!(size > 0)) size = 1;
    m_cellSize = size;
    m_cells.reserve(placed);
    for (size_t i = 0; i < m_points.size(); ++i)
        if (!(m_flags[i] & kPlanUnplaced))
            m_cells.push_back(Packed(CellX(m_points[i].e), CellY(m_points[i].n)) | i);
    std::sort(m_cells.begin(), m_cells.end());
}

std::vector<uint32_t> CPlanModel::PointsByPlace() const {
    std::vector<uint32_t> order;
    if (m_cells.empty() && m_bounds.valid) {
        for (size_t i = 0; i < m_points.size(); ++i)
            if (!(m_flags[i] & kPlanUnplaced)) order.push_back(static_cast<uint32_t>(i));
        return order;
    }
    order.reserve(m_cells.size());
    for (uint64_t cell : m_cells) order.push_back(static_cast<uint32_t>(cell & kPointMask));
    return order;
}

size_t CPlanModel::Nearest(double e, double n, double maxDistance) const {
    if (!m_bounds.valid || !std::isfinite(e) || !std::isfinite(n) || !(maxDistance >= 0))
        return npos;
    size_t best = npos;
    double bestD2 = std::numeric_limits<double>::infinity();
    const double limit2 = maxDistance * maxDistance;
    auto consider = [&](size_t i) {
        const double de = m_points[i].e - e, dn = m_points[i].n - n;
        const double d2 = de * de + dn * dn;
        if (d2 > limit2) return;
        if (d2 < bestD2 || (d2 == bestD2 && i < best)) {
            bestD2 = d2;
            best = i;
        }
    };
    // The cells the search square covers (only its part within the bounds
    // holds points), row by row, each row one search in the sorted cells;
    // past as many rows as points, reading every point is cheaper.
    const double reach = std::min(maxDistance, 4 * kFarthest);
    const int64_t x0 = CellX(std::max(e - reach, m_bounds.minE));
    const int64_t x1 = CellX(std::min(e + reach, m_bounds.maxE));
    const int64_t y0 = CellY(std::max(n - reach, m_bounds.minN));
    const int64_t y1 = CellY(std::min(n + reach, m_bounds.maxN));
    if (x0 > x1 || y0 > y1) return npos;
    if (m_cells.empty() || static_cast<size_t>(y1 - y0 + 1) > m_cells.size()) {
        for (size_t i = 0; i < m_points.size(); ++i)
            if (!(m_flags[i] & kPlanUnplaced)) consider(i);
        return best;
    }
    for (int64_t y = y0; y <= y1; ++y) {
        const uint64_t last = Packed(x1, y) | kPointMask;
        for (auto it = std::lower_bound(m_cells.begin(), m_cells.end(), Packed(x0, y));
             it != m_cells.end() && *it <= last; ++it)
            consider(static_cast<size_t>(*it & kPointMask));
    }
    return best;
}

void CPlanTransform::ZoomAbout(double x, double y, double factor) {
    const double e = E(x), n = N(y);
    scale = std::clamp(scale * factor, kPlanMinScale, kPlanMaxScale);
    // Put the same ground back under x,y.
    centerE = e - (x - width / 2) / scale;
    centerN = n + (y - height / 2) / scale;
}

CPlanTransform FitPlan(const CPlanBounds& bounds, double width, double height, double margin) {
    CPlanTransform t;
    t.width = width;
    t.height = height;
    t.scale = 10;
    if (!bounds.valid) return t;
    t.centerE = bounds.minE + (bounds.maxE - bounds.minE) / 2;
    t.centerN = bounds.minN + (bounds.maxN - bounds.minN) / 2;
    const double w = bounds.maxE - bounds.minE, h = bounds.maxN - bounds.minN;
    const double room = std::max(1.0, width - 2 * margin),
                 roomH = std::max(1.0, height - 2 * margin);
    double scale = std::numeric_limits<double>::infinity();
    if (w > 0) scale = room / w;
    if (h > 0) scale = std::min(scale, roomH / h);
    if (std::isfinite(scale)) t.scale = std::clamp(scale, kPlanMinScale, kPlanMaxScale);
    return t;
}

double ScaleBarMetres(double scale, double maxPixels) {
    if (!(scale > 0) || !(maxPixels > 0)) return 0;
    const double most = maxPixels / scale;
    double power = std::pow(10.0, std::floor(std::log10(most)));
    for (double step : {5.0, 2.0, 1.0})
        if (step * power <= most) return step * power;
    return power / 2;  // rounding put most just below power
}

std::string ScaleBarText(double metres) {
    char text[64];
    if (metres >= 1000)
        std::snprintf(text, sizeof text, "%g km", metres / 1000);
    else if (metres >= 0.01)
        std::snprintf(text, sizeof text, "%g m", metres);
    else
        std::snprintf(text, sizeof text, "%g mm", metres * 1000);
    return text;
}

std::string PaperScaleText(double scale, double dpi) {
    // One metre on the ground is scale pixels, i.e. scale / dpi inches of paper.
    const double paperMetres = scale / dpi * 0.0254;
    if (!(paperMetres > 0) || !std::isfinite(paperMetres)) return {};
    const double ratio = 1 / paperMetres;
    const double power = std::pow(10.0, std::floor(std::log10(ratio)) - 2);
    const double rounded = std::max(1.0, std::round(ratio / power) * power);
    return "1:" + GroupedCount(static_cast<size_t>(std::llround(rounded)));
}

std::string GroupedCount(size_t n) {
    // Built forwards rather than by insert(), which GCC 12 at -O3 wrongly
    // flags as an overlapping copy.
    const std::string digits = std::to_string(n);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}
