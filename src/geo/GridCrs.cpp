#include "geo/GridCrs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include "geo/GridCache.h"
#include "geo/ProjApi.h"

namespace {

struct CSeries {
    const char* label;  // with %d for the central meridian or zone
    int firstEpsg;
    int first, step, count;
};

constexpr CSeries kSeries[] = {
    {"CGCS2000 3度带 中央经线%d°E", 4534, 75, 3, 21},
    {"CGCS2000 3度带 第%d带(东坐标含带号)", 4513, 25, 1, 21},
    {"CGCS2000 6度带 中央经线%d°E", 4502, 75, 6, 11},
    {"北京54 3度带 中央经线%d°E", 2422, 75, 3, 21},
    {"西安80 3度带 中央经线%d°E", 2370, 75, 3, 21},
};

std::string Trim(std::string_view s) {
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return {};
    return std::string(s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1));
}

std::string Degrees(double value, char positive, char negative) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%g°%c", std::fabs(value), value < 0 ? negative : positive);
    return buf;
}

// A pipeline from the cache needs nothing from PROJ's database, whose opening
// alone costs more than transforming a full list: PROJ is pointed at none.
const char* NoDatabase(PJ_CONTEXT*, const char* file, void*) {
    return std::strcmp(file, "proj.db") == 0 ? "/dev/null/proj.db" : nullptr;
}

// Failures are ours to tell; PROJ would print some on standard error
// whatever its log level.
void Quiet(void*, int, const char*) {}

PJ_CONTEXT* NewContext(const CProjApi* P) {
    PJ_CONTEXT* ctx = P->proj_context_create();
    if (!ctx) return nullptr;
    P->proj_log_level(ctx, PJ_LOG_NONE);
    P->proj_log_func(ctx, nullptr, Quiet);
    P->proj_context_set_enable_network(ctx, 0);  // never fetch grids behind the user's back
    return ctx;
}

}  // namespace

const std::vector<CUsualGrid>& UsualGrids() {
    static const std::vector<CUsualGrid> grids = [] {
        std::vector<CUsualGrid> out;
        for (const CSeries& s : kSeries) {
            for (int i = 0; i < s.count; ++i) {
                char label[128];
                std::snprintf(label, sizeof label, s.label, s.first + i * s.step);
                const std::string crs = "EPSG:" + std::to_string(s.firstEpsg + i);
                out.push_back({std::string(label) + " (" + crs + ")", crs});
            }
        }
        return out;
    }();
    return grids;
}

namespace {

// The operation PROJ 9.1 picks for a point among several (its
// pj_get_suggested_operation): the first whose box holds the point, replaced
// by a later one that is more accurate (or as accurate and inside it) and
// not offshore. -1: none holds it.
int Suggested(const std::vector<COperation>& ops, const int excluded[2], double e, double n) {
    int best = -1;
    double bestAccuracy = std::numeric_limits<double>::max();
    for (int i = 0; i < static_cast<int>(ops.size()); ++i) {
        if (i == excluded[0] || i == excluded[1]) continue;
        const COperation& op = ops[i];
        if (!(e >= op.minE && n >= op.minN && e <= op.maxE && n <= op.maxN)) continue;
        const COperation* b = best < 0 ? nullptr : &ops[best];
        if (!b || (op.accuracy >= 0 &&
                   (op.accuracy < bestAccuracy ||
                    (op.accuracy == bestAccuracy && op.minE > b->minE && op.minN > b->minN &&
                     op.maxE < b->maxE && op.maxN < b->maxN)) &&
                   !op.offshore)) {
            best = i;
            bestAccuracy = op.accuracy;
        }
    }
    return best;
}

// PROJ's choice point by point needs its rules as of the release that made
// them; another release searches afresh every time.
bool ChoiceRulesKnown(const CProjApi* P) {
    const PJ_INFO info = P->proj_info();
    return info.major == 9 && info.minor == 1;
}

// Longitude/latitude on the grid's own ellipsoid to easting/northing, as PROJ
// builds it to place the areas of use in the grid.
PJ* GeographicToGrid(const CProjApi* P, PJ_CONTEXT* ctx, const PJ* grid) {
    PJ* geodetic = P->proj_crs_get_geodetic_crs(ctx, grid);
    if (!geodetic) return nullptr;
    const PJ_TYPE type = P->proj_get_type(geodetic);
    if (type == PJ_TYPE_GEOCENTRIC_CRS || type == PJ_TYPE_GEOGRAPHIC_2D_CRS ||
        type == PJ_TYPE_GEOGRAPHIC_3D_CRS) {
        PJ* datum = P->proj_crs_get_datum_forced(ctx, geodetic);
        PJ* ellipsoid = datum ? P->proj_get_ellipsoid(ctx, datum) : nullptr;
        PJ* cs = P->proj_create_ellipsoidal_2D_cs(ctx, PJ_ELLPS2D_LONGITUDE_LATITUDE, nullptr, 0);
        double a = 0, inverseFlattening = 0;
        PJ* lonLat = nullptr;
        if (ellipsoid && cs &&
            P->proj_ellipsoid_get_parameters(ctx, ellipsoid, &a, nullptr, nullptr,
                                             &inverseFlattening))
            lonLat = P->proj_create_geographic_crs(
                ctx, "unnamed crs", "unnamed datum", P->proj_get_name(ellipsoid), a,
                inverseFlattening, "Reference prime meridian", 0, nullptr, 0, cs);
        P->proj_destroy(cs);
        P->proj_destroy(ellipsoid);
        P->proj_destroy(datum);
        P->proj_destroy(geodetic);
        geodetic = lonLat;
    }
    if (!geodetic || P->proj_get_type(geodetic) != PJ_TYPE_GEOGRAPHIC_2D_CRS) {
        P->proj_destroy(geodetic);
        return nullptr;
    }
    PJ_OPERATION_FACTORY_CONTEXT* factory = P->proj_create_operation_factory_context(ctx, nullptr);
    P->proj_operation_factory_context_set_spatial_criterion(
        ctx, factory, PROJ_SPATIAL_CRITERION_PARTIAL_INTERSECTION);
    P->proj_operation_factory_context_set_grid_availability_use(
        ctx, factory, PROJ_GRID_AVAILABILITY_DISCARD_OPERATION_IF_MISSING_GRID);
    PJ* grid2d = P->proj_crs_demote_to_2D(ctx, nullptr, grid);
    PJ_OBJ_LIST* list =
        grid2d ? P->proj_create_operations(ctx, geodetic, grid2d, factory) : nullptr;
    P->proj_destroy(grid2d);
    P->proj_operation_factory_context_destroy(factory);
    P->proj_destroy(geodetic);
    const int count = list ? P->proj_list_get_count(list) : 0;
    PJ* chosen = nullptr;
    for (int i = 0; i < count && !chosen; ++i) {  // one without grids first
        PJ* op = P->proj_list_get(ctx, list, i);
        if (op && P->proj_coordoperation_get_grid_used_count(ctx, op) == 0)
            chosen = op;
        else
            P->proj_destroy(op);
    }
    if (!chosen && count > 0) chosen = P->proj_list_get(ctx, list, 0);
    if (list) P->proj_list_destroy(list);
    PJ* normalized = chosen ? P->proj_normalize_for_visualization(ctx, chosen) : nullptr;
    P->proj_destroy(chosen);
    return normalized;
}

// PROJ's box of an area of use in the grid: 21 points along each side.
void GridBox(const CProjApi* P, PJ* toGrid, double w, double s, double e, double n,
             COperation& op) {
    constexpr double kMax = std::numeric_limits<double>::max();
    if (w == -180 && e == 180 && s == -90 && n == 90) {
        op.minE = op.minN = -kMax;
        op.maxE = op.maxN = kMax;
        return;
    }
    op.minE = op.minN = kMax;
    op.maxE = op.maxN = -kMax;
    constexpr int kSteps = 20;
    const double stepLon = (e - w) / kSteps, stepLat = (n - s) / kSteps;
    const auto add = [&](double lon, double lat) {
        const PJ_COORD c = P->proj_trans(toGrid, PJ_FWD, P->proj_coord(lon, lat, 0, 0));
        if (c.xy.x == HUGE_VAL || c.xy.y == HUGE_VAL) return;
        op.minE = std::min(op.minE, c.xy.x);
        op.minN = std::min(op.minN, c.xy.y);
        op.maxE = std::max(op.maxE, c.xy.x);
        op.maxN = std::max(op.maxN, c.xy.y);
    };
    for (int j = 0; j <= kSteps; ++j) {
        add(w + j * stepLon, s);
        add(w + j * stepLon, n);
        add(w, s + j * stepLat);
        add(e, s + j * stepLat);
    }
}

// The operations PROJ chooses between for grid -> longitude/latitude, in its
// order, each with its box; false when one has no pipeline.
bool ChoiceOperations(const CProjApi* P, PJ_CONTEXT* ctx, const PJ* grid, const PJ* wgs84,
                      std::vector<COperation>& out) {
    out.clear();
    PJ* toGrid = GeographicToGrid(P, ctx, grid);
    if (!toGrid) return false;
    PJ_OPERATION_FACTORY_CONTEXT* factory = P->proj_create_operation_factory_context(ctx, nullptr);
    P->proj_operation_factory_context_set_allow_ballpark_transformations(ctx, factory, 1);
    P->proj_operation_factory_context_set_spatial_criterion(
        ctx, factory, PROJ_SPATIAL_CRITERION_PARTIAL_INTERSECTION);
    P->proj_operation_factory_context_set_grid_availability_use(
        ctx, factory, PROJ_GRID_AVAILABILITY_DISCARD_OPERATION_IF_MISSING_GRID);
    PJ_OBJ_LIST* list = P->proj_create_operations(ctx, grid, wgs84, factory);
    P->proj_operation_factory_context_destroy(factory);
    const int count = list ? P->proj_list_get_count(list) : 0;
    bool ok = count > 1;
    for (int i = 0; i < count && ok; ++i) {
        PJ* op = P->proj_list_get(ctx, list, i);
        double w, s, e, n;
        const char* areaName = nullptr;
        if (op && P->proj_get_area_of_use(ctx, op, &w, &s, &e, &n, &areaName)) {
            PJ* normalized = P->proj_normalize_for_visualization(ctx, op);
            const char* pipeline =
                normalized ? P->proj_as_proj_string(ctx, normalized, PJ_PROJ_5, nullptr) : nullptr;
            COperation base;
            ok = pipeline != nullptr;
            if (ok) {
                base.pipeline = pipeline;
                base.accuracy = P->proj_coordoperation_get_accuracy(ctx, op);
                base.offshore = areaName && std::strstr(areaName, "- offshore");
                base.needsGrids = P->proj_coordoperation_get_grid_used_count(ctx, op) > 0;
                // An area across 180° counts as its two halves.
                const double halves[2][2] = {{w, w <= e ? e : 180}, {-180, e}};
                for (int h = 0; h < (w <= e ? 1 : 2); ++h) {
                    COperation part = base;
                    GridBox(P, toGrid, halves[h][0], s, halves[h][1], n, part);
                    if (part.minE <= part.maxE) out.push_back(std::move(part));
                }
            }
            P->proj_destroy(normalized);
        }
        P->proj_destroy(op);
    }
    if (list) P->proj_list_destroy(list);
    P->proj_destroy(toGrid);
    return ok && out.size() > 1;
}

}  // namespace

struct CGridCrs::CImpl {
    const CProjApi* P = nullptr;
    PJ_CONTEXT* ctx = nullptr;
    PJ* toLonLat = nullptr;       // grid easting/northing -> longitude/latitude
    std::vector<COperation> ops;  // or several, chosen point by point
    std::vector<PJ*> opPjs;
    // Found in PROJ's database on this run, to keep once it has given the same
    // coordinates as PROJ's own answer on the points.
    std::optional<CCachedGrid> toKeep;
    std::string folder, path, key;

    ~CImpl() {
        if (!P) return;
        Drop();
        P->proj_destroy(toLonLat);
        P->proj_context_destroy(ctx);
    }
    void Drop() {
        for (PJ* op : opPjs) P->proj_destroy(op);
        opPjs.clear();
        ops.clear();
    }
    // The kept operations made from their pipelines; false if one does not
    // make an operation.
    bool Adopt(const std::vector<COperation>& kept) {
        Drop();
        for (const COperation& op : kept) {
            PJ* pj = P->proj_create(ctx, op.pipeline.c_str());
            // Only an operation is taken from the cache, never a CRS in its place.
            if (pj && P->proj_is_crs(pj)) {
                P->proj_destroy(pj);
                pj = nullptr;
            }
            if (!pj) {
                Drop();
                return false;
            }
            opPjs.push_back(pj);
        }
        ops = kept;
        return !opPjs.empty();
    }
    // PROJ's proj_trans over several operations, as of release 9.1: the
    // suggested one, up to two others when it gives no result, then the
    // first that needs no grid files.
    PJ_COORD Forward(PJ_COORD c) const {
        if (opPjs.size() == 1) return P->proj_trans(opPjs[0], PJ_FWD, c);
        if (opPjs.empty()) return P->proj_trans(toLonLat, PJ_FWD, c);
        int excluded[2] = {-1, -1};
        for (int retry = 0; retry <= 2; ++retry) {
            const int best = Suggested(ops, excluded, c.xy.x, c.xy.y);
            if (best < 0) break;
            const PJ_COORD r = P->proj_trans(opPjs[best], PJ_FWD, c);
            if (r.xyzt.x != HUGE_VAL) return r;
            if (retry == 2) break;
            excluded[retry] = best;
        }
        for (size_t i = 0; i < ops.size(); ++i)
            if (!ops[i].needsGrids) return P->proj_trans(opPjs[i], PJ_FWD, c);
        return P->proj_coord(HUGE_VAL, HUGE_VAL, HUGE_VAL, HUGE_VAL);
    }
};

CGridCrs::CGridCrs(std::unique_ptr<CImpl> impl) : m_impl(std::move(impl)) {}
CGridCrs::~CGridCrs() = default;

std::unique_ptr<CGridCrs> CGridCrs::Open(std::string_view definition, std::string* message) {
    return Open(definition, message, true);
}

std::string KeptGridText(std::string_view definition) {
    std::unique_ptr<CGridCrs> crs = CGridCrs::Open(definition, nullptr, false);
    return crs ? crs->KeptText() : std::string();
}

std::string CGridCrs::KeptText() const {
    return m_impl->toKeep ? ::KeptText(m_impl->key, *m_impl->toKeep) : std::string();
}

bool CGridCrs::Kept() const {
    return !m_impl->opPjs.empty();
}

std::unique_ptr<CGridCrs> CGridCrs::Open(std::string_view definition, std::string* message,
                                         bool useKept) {
    const auto fail = [message](std::string text) {
        if (message) *message = std::move(text);
        return nullptr;
    };
    std::string def = Trim(definition);
    if (def.empty()) return fail("没有坐标系!");
    // A bare number is an EPSG code; a PROJ string names a CRS only with +type=crs.
    if (def.find_first_not_of("0123456789") == std::string::npos) def = "EPSG:" + def;
    if (def[0] == '+' && def.find("+type=crs") == std::string::npos) def += " +type=crs";

    std::string loadError;
    const CProjApi* P = ProjApi(&loadError);
    if (!P) return fail(loadError);
    auto impl = std::make_unique<CImpl>();
    impl->P = P;
    impl->ctx = NewContext(P);
    if (!impl->ctx) return fail("内存分配失败!");

    impl->folder = CacheFolder();
    impl->key = CacheKey(P, def);
    impl->path = impl->folder.empty() ? std::string() : CachePath(impl->folder, impl->key);
    CCachedGrid grid;
    bool cached = false;
    if (useKept &&
        ((!impl->path.empty() && LoadCache(impl->path, impl->key, grid)) ||
         FromUsualGrids(impl->key, grid)) &&
        (grid.ops.size() == 1 || ChoiceRulesKnown(P))) {
        P->proj_context_set_file_finder(impl->ctx, NoDatabase, nullptr);
        cached = impl->Adopt(grid.ops);
        P->proj_context_set_file_finder(impl->ctx, nullptr, nullptr);
    }
    if (!cached) {
        grid = CCachedGrid{};
        const std::string unknown = "未知的坐标系!\n" + Trim(definition);
        PJ* crs = P->proj_create(impl->ctx, def.c_str());
        if (!crs || !P->proj_is_crs(crs)) {
            P->proj_destroy(crs);
            return fail(unknown);
        }
        // A compound CRS counts by its horizontal part; the height is kept as it is.
        PJ* horizontal = P->proj_get_type(crs) == PJ_TYPE_COMPOUND_CRS
                             ? P->proj_crs_get_sub_crs(impl->ctx, crs, 0)
                             : P->proj_clone(impl->ctx, crs);
        const char* name = P->proj_get_name(crs);
        grid.name = name ? name : def;
        const char* auth = P->proj_get_id_auth_name(crs, 0);
        const char* code = P->proj_get_id_code(crs, 0);
        if (auth && code && std::string_view(auth) == "EPSG") grid.epsg = std::atoi(code);
        const char* areaName = nullptr;
        double w, s, e, n;
        if (P->proj_get_area_of_use(impl->ctx, crs, &w, &s, &e, &n, &areaName) && w > -1000) {
            grid.hasArea = true;
            grid.w = w;
            grid.s = s;
            grid.e = e;
            grid.n = n;
            grid.areaName = areaName ? areaName : "";
        }
        P->proj_destroy(crs);
        if (!horizontal || P->proj_get_type(horizontal) != PJ_TYPE_PROJECTED_CRS) {
            P->proj_destroy(horizontal);
            return fail("不是平面坐标系!\n" + grid.name);
        }
        PJ* wgs84 = P->proj_create(impl->ctx, "EPSG:4326");
        PJ* op = wgs84 ? P->proj_create_crs_to_crs_from_pj(impl->ctx, horizontal, wgs84, nullptr,
                                                           nullptr)
                       : nullptr;
        // Easting first in and longitude first out, whatever order the CRSs define.
        if (op) impl->toLonLat = P->proj_normalize_for_visualization(impl->ctx, op);
        P->proj_destroy(op);
        if (impl->toLonLat) {
            // Several transformations, each for its region, have no single pipeline.
            if (const char* pipeline =
                    P->proj_as_proj_string(impl->ctx, impl->toLonLat, PJ_PROJ_5, nullptr)) {
                COperation one;
                one.pipeline = pipeline;
                grid.ops.push_back(std::move(one));
            } else if (grid.hasArea && ChoiceRulesKnown(P)) {
                ChoiceOperations(P, impl->ctx, horizontal, wgs84, grid.ops);
            }
            if (!grid.ops.empty()) impl->toKeep = grid;
        }
        P->proj_destroy(wgs84);
        P->proj_destroy(horizontal);
        if (!impl->toLonLat) return fail(unknown);
    }

    std::unique_ptr<CGridCrs> crs(new CGridCrs(std::move(impl)));
    crs->m_name = grid.name;
    crs->m_epsg = grid.epsg;
    if (grid.hasArea) {
        crs->m_hasArea = true;
        crs->m_west = grid.w;
        crs->m_south = grid.s;
        crs->m_east = grid.e;
        crs->m_north = grid.n;
        crs->m_area = grid.areaName + " (" + Degrees(grid.w, 'E', 'W') + "–" +
                      Degrees(grid.e, 'E', 'W') + ", " + Degrees(grid.s, 'N', 'S') + "–" +
                      Degrees(grid.n, 'N', 'S') + ")";
    }
    return crs;
}

bool CGridCrs::ToLonLat(const std::vector<CSurveyPoint>& points, std::vector<CLonLat>& out,
                        CGridFault& fault) const {
    const CProjApi* P = m_impl->P;
    out.assign(points.size(), CLonLat{});
    for (size_t i = 0; i < points.size(); ++i) {
        const CSurveyPoint& p = points[i];
        const PJ_COORD there = m_impl->Forward(P->proj_coord(p.e, p.n, 0, HUGE_VAL));
        const double lon = there.xy.x, lat = there.xy.y;
        fault = CGridFault{i, false, lon, lat};
        if (!std::isfinite(lon) || !std::isfinite(lat)) return false;
        if (m_hasArea) {
            const bool lonIn = m_west <= m_east ? lon >= m_west && lon <= m_east
                                                : lon >= m_west || lon <= m_east;  // across 180°
            if (!lonIn || lat < m_south || lat > m_north) {
                fault.outside = true;
                return false;
            }
        }
        // Without an area of use to hold it to, a point far from its zone may
        // land where the projection is no longer invertible: it must come back
        // to the grid point it came from.
        if (!m_hasArea) {
            PJ* op = m_impl->opPjs.empty() ? m_impl->toLonLat : m_impl->opPjs[0];
            const PJ_COORD back = P->proj_trans(op, PJ_INV, there);
            if (!(std::fabs(back.xy.x - p.e) <= 0.001 && std::fabs(back.xy.y - p.n) <= 0.001))
                return false;
        }
        out[i] = CLonLat{lon, lat};
    }
    KeepIfSame(points, out);
    return true;
}

// What this run found is kept only when the kept form, made as a later run
// makes it, gives every point the coordinates PROJ's own search gave.
void CGridCrs::KeepIfSame(const std::vector<CSurveyPoint>& points,
                          const std::vector<CLonLat>& lonLat) const {
    CImpl& impl = *m_impl;
    if (!impl.toKeep || impl.path.empty()) return;
    const CCachedGrid grid = std::move(*impl.toKeep);
    impl.toKeep.reset();
    CImpl kept;
    kept.P = impl.P;
    kept.ctx = NewContext(impl.P);
    if (!kept.ctx) return;
    impl.P->proj_context_set_file_finder(kept.ctx, NoDatabase, nullptr);
    if (!kept.Adopt(grid.ops)) return;
    constexpr double kSame = 1e-9;  // degrees: a tenth of a millimetre
    for (size_t i = 0; i < points.size(); ++i) {
        const PJ_COORD c = kept.Forward(impl.P->proj_coord(points[i].e, points[i].n, 0, HUGE_VAL));
        if (!(std::fabs(c.xy.x - lonLat[i].lon) <= kSame &&
              std::fabs(c.xy.y - lonLat[i].lat) <= kSame))
            return;
    }
    SaveCache(impl.folder, impl.path, impl.key, grid);
}
