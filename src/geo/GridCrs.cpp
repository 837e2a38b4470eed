#include "geo/GridCrs.h"

#include <proj.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

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

struct CGridCrs::CImpl {
    PJ_CONTEXT* ctx = nullptr;
    PJ* crs = nullptr;
    PJ* toLonLat = nullptr;  // grid easting/northing -> longitude/latitude
    ~CImpl() {
        proj_destroy(toLonLat);
        proj_destroy(crs);
        proj_context_destroy(ctx);
    }
};

CGridCrs::CGridCrs(std::unique_ptr<CImpl> impl) : m_impl(std::move(impl)) {}
CGridCrs::~CGridCrs() = default;

std::unique_ptr<CGridCrs> CGridCrs::Open(std::string_view definition, std::string* message) {
    const auto fail = [message](std::string text) {
        if (message) *message = std::move(text);
        return nullptr;
    };
    std::string def = Trim(definition);
    if (def.empty()) return fail("没有坐标系!");
    // A bare number is an EPSG code; a PROJ string names a CRS only with +type=crs.
    if (def.find_first_not_of("0123456789") == std::string::npos) def = "EPSG:" + def;
    if (def[0] == '+' && def.find("+type=crs") == std::string::npos) def += " +type=crs";

    auto impl = std::make_unique<CImpl>();
    impl->ctx = proj_context_create();
    if (!impl->ctx) return fail("内存分配失败!");
    proj_log_level(impl->ctx, PJ_LOG_NONE);         // failures are ours to tell
    proj_context_set_enable_network(impl->ctx, 0);  // never fetch grids behind the user's back
    const std::string unknown = "未知的坐标系!\n" + Trim(definition);
    impl->crs = proj_create(impl->ctx, def.c_str());
    if (!impl->crs || !proj_is_crs(impl->crs)) return fail(unknown);

    // A compound CRS counts by its horizontal part; the height is kept as it is.
    PJ* horizontal = proj_get_type(impl->crs) == PJ_TYPE_COMPOUND_CRS
                         ? proj_crs_get_sub_crs(impl->ctx, impl->crs, 0)
                         : proj_clone(impl->ctx, impl->crs);
    const bool grid = horizontal && proj_get_type(horizontal) == PJ_TYPE_PROJECTED_CRS;
    const char* name = proj_get_name(impl->crs);
    if (!grid) {
        proj_destroy(horizontal);
        return fail("不是平面坐标系!\n" + std::string(name ? name : def));
    }
    PJ* wgs84 = proj_create(impl->ctx, "EPSG:4326");
    PJ* op = wgs84 ? proj_create_crs_to_crs_from_pj(impl->ctx, horizontal, wgs84, nullptr, nullptr)
                   : nullptr;
    proj_destroy(wgs84);
    proj_destroy(horizontal);
    // Easting first in and longitude first out, whatever order the CRSs define.
    if (op) impl->toLonLat = proj_normalize_for_visualization(impl->ctx, op);
    proj_destroy(op);
    if (!impl->toLonLat) return fail(unknown);

    std::unique_ptr<CGridCrs> crs(new CGridCrs(std::move(impl)));
    PJ_CONTEXT* ctx = crs->m_impl->ctx;
    PJ* object = crs->m_impl->crs;
    crs->m_name = name ? name : def;
    const char* auth = proj_get_id_auth_name(object, 0);
    const char* code = proj_get_id_code(object, 0);
    if (auth && code && std::string_view(auth) == "EPSG") crs->m_epsg = std::atoi(code);
    const char* areaName = nullptr;
    double w, s, e, n;
    if (proj_get_area_of_use(ctx, object, &w, &s, &e, &n, &areaName) && w > -1000) {
        crs->m_hasArea = true;
        crs->m_west = w;
        crs->m_south = s;
        crs->m_east = e;
        crs->m_north = n;
        crs->m_area = std::string(areaName ? areaName : "") + " (" + Degrees(w, 'E', 'W') + "–" +
                      Degrees(e, 'E', 'W') + ", " + Degrees(s, 'N', 'S') + "–" +
                      Degrees(n, 'N', 'S') + ")";
    }
    return crs;
}

bool CGridCrs::ToLonLat(const std::vector<CSurveyPoint>& points, std::vector<CLonLat>& out,
                        CGridFault& fault) const {
    PJ* op = m_impl->toLonLat;
    out.assign(points.size(), CLonLat{});
    for (size_t i = 0; i < points.size(); ++i) {
        const CSurveyPoint& p = points[i];
        const PJ_COORD there = proj_trans(op, PJ_FWD, proj_coord(p.e, p.n, 0, HUGE_VAL));
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
        // Far from its zone a projection stops being invertible: the place must
        // come back to the grid point it came from.
        const PJ_COORD back = proj_trans(op, PJ_INV, there);
        if (!(std::fabs(back.xy.x - p.e) <= 0.001 && std::fabs(back.xy.y - p.n) <= 0.001))
            return false;
        out[i] = CLonLat{lon, lat};
    }
    return true;
}
