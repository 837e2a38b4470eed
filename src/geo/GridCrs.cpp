#include "geo/GridCrs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

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

// ---- The operation cache ----
// Finding the transformation in PROJ's database costs more than the rest of an
// export of a full list; a grid whose answer is one pipeline keeps it in
// $XDG_CACHE_HOME/jvs-transfer (~/.cache/jvs-transfer), keyed by the
// definition, PROJ's release and its database file. A file that does not
// match or read back is ignored and written anew.

constexpr char kCacheMagic[] = "jvs-transfer crs cache 1";

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const char ch : bytes) {
        out.push_back(kDigits[static_cast<unsigned char>(ch) >> 4]);
        out.push_back(kDigits[static_cast<unsigned char>(ch) & 15]);
    }
    return out;
}

bool Unhex(std::string_view hex, std::string& out) {
    out.clear();
    if (hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (const char c : hex.substr(i, 2)) {
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        out.push_back(static_cast<char>(value));
    }
    return true;
}

std::string CacheFolder() {
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/jvs-transfer";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.cache/jvs-transfer";
    return {};
}

// What the answer depends on: the definition, PROJ's release and the database
// PROJ reads (the first proj.db on its search path).
std::string CacheKey(const CProjApi* P, const std::string& definition) {
    const PJ_INFO info = P->proj_info();
    std::string key = definition + "\n" + (info.release ? info.release : "");
    std::stringstream paths(info.searchpath ? info.searchpath : "");
    for (std::string dir; std::getline(paths, dir, ':');) {
        struct stat st {};
        const std::string db = dir + "/proj.db";
        if (stat(db.c_str(), &st) == 0) {
            key += "\n" + db + " " + std::to_string(st.st_size) + " " +
                   std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
            break;
        }
    }
    return key;
}

std::string CachePath(const std::string& folder, const std::string& key) {
    uint64_t hash = 1469598103934665603ull;  // FNV-1a
    for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    char name[40];
    std::snprintf(name, sizeof name, "/crs-%016llx.txt", static_cast<unsigned long long>(hash));
    return folder + name;
}

struct CCachedGrid {
    std::string name, areaName, pipeline;
    int epsg = 0;
    bool hasArea = false;
    double w = 0, s = 0, e = 0, n = 0;
};

bool LoadCache(const std::string& path, const std::string& key, CCachedGrid& grid) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    std::string text;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < 65536) {
        text.resize(static_cast<size_t>(st.st_size));
        if (read(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) text.clear();
    }
    close(fd);
    std::istringstream lines(text);
    std::string magic, keyHex, name, epsg, area, areaName, pipeline, storedKey;
    if (!std::getline(lines, magic) || magic != kCacheMagic || !std::getline(lines, keyHex) ||
        !Unhex(keyHex, storedKey) || storedKey != key || !std::getline(lines, name) ||
        !std::getline(lines, epsg) || !std::getline(lines, area) ||
        !std::getline(lines, areaName) || !std::getline(lines, pipeline))
        return false;
    std::istringstream bounds(area);
    int hasArea = 0;
    bounds >> hasArea >> grid.w >> grid.s >> grid.e >> grid.n;
    grid.hasArea = hasArea != 0;
    grid.epsg = std::atoi(epsg.c_str());
    return bounds && Unhex(name, grid.name) && Unhex(areaName, grid.areaName) &&
           Unhex(pipeline, grid.pipeline) && !grid.pipeline.empty();
}

// Written whole under a temporary name and renamed, so a reader never sees half.
void SaveCache(const std::string& folder, const std::string& path, const std::string& key,
               const CCachedGrid& grid) {
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) mkdir(folder.substr(0, slash).c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    char area[160];
    std::snprintf(area, sizeof area, "%d %.17g %.17g %.17g %.17g", grid.hasArea ? 1 : 0, grid.w,
                  grid.s, grid.e, grid.n);
    const std::string text = std::string(kCacheMagic) + "\n" + Hex(key) + "\n" + Hex(grid.name) +
                             "\n" + std::to_string(grid.epsg) + "\n" + area + "\n" +
                             Hex(grid.areaName) + "\n" + Hex(grid.pipeline) + "\n";
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (close(fd) == 0 && written && rename(temp.c_str(), path.c_str()) == 0) return;
    unlink(temp.c_str());
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
    const CProjApi* P = nullptr;
    PJ_CONTEXT* ctx = nullptr;
    PJ* toLonLat = nullptr;  // grid easting/northing -> longitude/latitude
    ~CImpl() {
        if (!P) return;
        P->proj_destroy(toLonLat);
        P->proj_context_destroy(ctx);
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

    std::string loadError;
    const CProjApi* P = ProjApi(&loadError);
    if (!P) return fail(loadError);
    auto impl = std::make_unique<CImpl>();
    impl->P = P;
    impl->ctx = P->proj_context_create();
    if (!impl->ctx) return fail("内存分配失败!");
    P->proj_log_level(impl->ctx, PJ_LOG_NONE);         // failures are ours to tell
    P->proj_context_set_enable_network(impl->ctx, 0);  // never fetch grids behind the user's back

    const std::string folder = CacheFolder();
    const std::string key = CacheKey(P, def);
    const std::string path = folder.empty() ? std::string() : CachePath(folder, key);
    CCachedGrid grid;
    if (!path.empty() && LoadCache(path, key, grid)) {
        impl->toLonLat = P->proj_create(impl->ctx, grid.pipeline.c_str());
        // Only an operation is taken from the cache, never a CRS in its place.
        if (impl->toLonLat && P->proj_is_crs(impl->toLonLat)) {
            P->proj_destroy(impl->toLonLat);
            impl->toLonLat = nullptr;
        }
    }
    if (!impl->toLonLat) {
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
        P->proj_destroy(wgs84);
        P->proj_destroy(horizontal);
        // Easting first in and longitude first out, whatever order the CRSs define.
        if (op) impl->toLonLat = P->proj_normalize_for_visualization(impl->ctx, op);
        P->proj_destroy(op);
        if (!impl->toLonLat) return fail(unknown);
        // Several transformations, each for its region, have no single pipeline.
        const char* pipeline =
            P->proj_as_proj_string(impl->ctx, impl->toLonLat, PJ_PROJ_5, nullptr);
        if (pipeline && !path.empty()) {
            grid.pipeline = pipeline;
            SaveCache(folder, path, key, grid);
        }
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
    PJ* op = m_impl->toLonLat;
    out.assign(points.size(), CLonLat{});
    for (size_t i = 0; i < points.size(); ++i) {
        const CSurveyPoint& p = points[i];
        const PJ_COORD there = P->proj_trans(op, PJ_FWD, P->proj_coord(p.e, p.n, 0, HUGE_VAL));
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
            const PJ_COORD back = P->proj_trans(op, PJ_INV, there);
            if (!(std::fabs(back.xy.x - p.e) <= 0.001 && std::fabs(back.xy.y - p.n) <= 0.001))
                return false;
        }
        out[i] = CLonLat{lon, lat};
    }
    return true;
}
