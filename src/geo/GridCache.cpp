#include "geo/GridCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "geo/GridCrs.h"
#include "geo/ProjApi.h"

namespace {

// Finding the transformation in PROJ's database costs more than the rest of an
// export of a full list; a grid whose answer is one pipeline keeps it in
// $XDG_CACHE_HOME/jvs-transfer (~/.cache/jvs-transfer), keyed by the
// definition, PROJ's release and its database file. A file that does not
// match or read back is ignored and written anew.

constexpr char kCacheMagic[] = "jvs-transfer crs cache 2";

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

unsigned long long Fnv1a(std::string_view bytes) {
    uint64_t hash = 1469598103934665603ull;
    for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return hash;
}

// The last line: "end" and the hash of all before it, so a file damaged in
// the middle is not taken for a valid one with other numbers.
std::string EndLine(std::string_view body) {
    char line[40];
    std::snprintf(line, sizeof line, "end %016llx", Fnv1a(body));
    return line;
}

bool ParseKept(std::string_view text, const std::string& key, CCachedGrid& grid) {
    grid = CCachedGrid{};
    std::istringstream lines{std::string(text)};
    std::string magic, keyHex, name, epsg, area, areaName, count, storedKey;
    if (!std::getline(lines, magic) || magic != kCacheMagic || !std::getline(lines, keyHex) ||
        !Unhex(keyHex, storedKey) || storedKey != key || !std::getline(lines, name) ||
        !std::getline(lines, epsg) || !std::getline(lines, area) ||
        !std::getline(lines, areaName) || !std::getline(lines, count))
        return false;
    std::istringstream bounds(area);
    int hasArea = 0;
    bounds >> hasArea >> grid.w >> grid.s >> grid.e >> grid.n;
    grid.hasArea = hasArea != 0;
    grid.epsg = std::atoi(epsg.c_str());
    const int n = std::atoi(count.c_str());
    if (!bounds || !Unhex(name, grid.name) || !Unhex(areaName, grid.areaName) || n < 1 || n > 64)
        return false;
    // Several operations are chosen between by area of use, which only a CRS that has one keeps.
    if (n > 1 && !grid.hasArea) return false;
    for (int i = 0; i < n; ++i) {
        std::string line, hex;
        if (!std::getline(lines, line)) return false;
        std::istringstream fields(line);
        COperation op;
        int offshore = 0, needsGrids = 0;
        fields >> hex >> op.minE >> op.minN >> op.maxE >> op.maxN >> op.accuracy >> offshore >>
            needsGrids;
        if (!fields || !Unhex(hex, op.pipeline) || op.pipeline.empty()) return false;
        op.offshore = offshore != 0;
        op.needsGrids = needsGrids != 0;
        grid.ops.push_back(std::move(op));
    }
    const auto bodySize = static_cast<size_t>(lines.tellg());
    std::string end;
    return std::getline(lines, end) && end == EndLine(text.substr(0, bodySize));
}

// The usual grids as PROJ answered for them when the table was made, under
// the same keys as the cache folder: used only with the same PROJ release
// and database.
constexpr std::string_view kUsualGridsKept =
#include "geo/UsualGridsKept.inc"
    ;

}  // namespace

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
    char name[40];
    std::snprintf(name, sizeof name, "/crs-%016llx.txt", Fnv1a(key));
    return folder + name;
}

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
    return ParseKept(text, key, grid);
}

bool FromUsualGrids(const std::string& key, CCachedGrid& grid) {
    const std::string_view table = kUsualGridsKept;
    const size_t at = table.find("\n" + Hex(key) + "\n");
    if (at == std::string_view::npos) return false;
    const size_t start = table.rfind(kCacheMagic, at);
    const size_t end = table.find("\nend ", at);
    if (start == std::string_view::npos || end == std::string_view::npos) return false;
    return ParseKept(table.substr(start, table.find('\n', end + 1) - start), key, grid);
}

bool UsualGridsFitThisProj() {
    const CProjApi* P = ProjApi(nullptr);
    if (!P) return false;
    // The table's first key past its definition: PROJ's release and database.
    const std::string_view table = kUsualGridsKept;
    const size_t at = table.find(kCacheMagic);
    if (at == std::string_view::npos) return false;
    const size_t from = table.find('\n', at) + 1;
    std::string stored;
    if (!Unhex(table.substr(from, table.find('\n', from) - from), stored)) return false;
    const std::string here = CacheKey(P, "");
    const size_t cut = stored.find('\n');
    return cut != std::string::npos && stored.substr(cut) == here;
}

std::string KeptText(const std::string& key, const CCachedGrid& grid) {
    char area[160];
    std::snprintf(area, sizeof area, "%d %.17g %.17g %.17g %.17g", grid.hasArea ? 1 : 0, grid.w,
                  grid.s, grid.e, grid.n);
    std::string text = std::string(kCacheMagic) + "\n" + Hex(key) + "\n" + Hex(grid.name) + "\n" +
                       std::to_string(grid.epsg) + "\n" + area + "\n" + Hex(grid.areaName) + "\n" +
                       std::to_string(grid.ops.size()) + "\n";
    for (const COperation& op : grid.ops) {
        char fields[200];
        std::snprintf(fields, sizeof fields, " %.17g %.17g %.17g %.17g %.17g %d %d\n", op.minE,
                      op.minN, op.maxE, op.maxN, op.accuracy, op.offshore ? 1 : 0,
                      op.needsGrids ? 1 : 0);
        text += Hex(op.pipeline) + fields;
    }
    return text + EndLine(text) + "\n";
}

// Written whole under a temporary name and renamed, so a reader never sees half.
void SaveCache(const std::string& folder, const std::string& path, const std::string& key,
               const CCachedGrid& grid) {
    const size_t slash = folder.rfind('/');
    if (slash != std::string::npos && slash > 0) mkdir(folder.substr(0, slash).c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    const std::string text = KeptText(key, grid);
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return;
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (close(fd) == 0 && written && rename(temp.c_str(), path.c_str()) == 0) return;
    unlink(temp.c_str());
}
