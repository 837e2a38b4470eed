// `jvs export`: every format read back by readers that share nothing with the
// program (GDAL/OGR, an XML parser, Python's csv), the transformation checked
// against PROJ's own cs2cs, kept answers damaged and made anew, and every
// refusal writing nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "JvsProcess_support.h"
#include "convert/BlockFraming.h"
#include "convert/ViewCodec.h"
#include "geo/GridCrs.h"

namespace fs = std::filesystem;

namespace {

const std::string kReadBack = JVS_TEST_DATA "/export_readback.py";

bool Have(const char* tool) {
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Capture(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buf[65536];
        for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        pclose(pipe);
    }
    return out;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    if (hex == "-") return out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

struct CRead {
    std::string name, code;
    double x, y, z;
};

std::vector<CRead> ReadBack(const std::string& kind, const std::string& path) {
    std::istringstream lines(Capture("python3 " + kReadBack + " " + kind + " " + path));
    std::vector<CRead> out;
    for (std::string name, code; lines >> name >> code;) {
        CRead r;
        lines >> r.x >> r.y >> r.z;
        r.name = Unhex(name);
        r.code = Unhex(code);
        out.push_back(r);
    }
    return out;
}

// cs2cs takes a PROJ string for a target only without its plus signs.
std::string Cs2csCrs(std::string crs) {
    if (crs.empty() || crs[0] != '+') return crs;
    std::string out;
    for (size_t i = 0; i < crs.size(); ++i)
        if (!(crs[i] == '+' && (i == 0 || crs[i - 1] == ' '))) out.push_back(crs[i]);
    return out;
}

// cs2cs on "a b" pairs, nine or more decimals back.
std::vector<std::pair<double, double>> Cs2cs(const std::string& from, const std::string& to,
                                             const std::vector<std::pair<double, double>>& in,
                                             const std::string& folder) {
    std::string text;
    char line[96];
    for (const auto& [a, b] : in) {
        std::snprintf(line, sizeof line, "%.10f %.10f\n", a, b);
        text += line;
    }
    WriteFileBytes(folder + "/cs2cs.in", text);
    std::istringstream result(Capture("cs2cs -f %.12f '" + Cs2csCrs(from) + "' '" + Cs2csCrs(to) +
                                      "' < " + folder + "/cs2cs.in"));
    std::vector<std::pair<double, double>> out;
    for (double a, b, z; result >> a >> b >> z;) out.emplace_back(a, b);
    return out;
}

// The text with the digit `at` characters after `marker` made a 6.
std::string Shifted(std::string text, const std::string& marker, size_t at) {
    const size_t found = text.find(marker);
    EXPECT_NE(found, std::string::npos) << marker;
    if (found != std::string::npos) text[found + at] = '6';
    return text;
}

struct CPoint {
    std::string name, code;  // UTF-8 as the list means them
    double e, n, z;
};

std::string ListText(const std::vector<CPoint>& points) {
    std::string text;
    char values[96];
    for (const CPoint& p : points) {
        std::snprintf(values, sizeof values, ",%.3f,%.3f,%.3f\r\n", p.e, p.n, p.z);
        text += Utf8ToGbk(p.name) + "," + Utf8ToGbk(p.code) + values;
    }
    return text;
}

struct ExportCli : ::testing::Test {
    CTempDir work;
    CJvsResult Run(std::vector<std::string> args, const std::string& input = "") {
        CJvsOptions options;
        options.env = {{"XDG_CACHE_HOME", work / "cache"}};
        args.insert(args.begin(), "export");
        return RunJvsIn(work, args, input, options);
    }
    // `path` damaged into `damaged` is read past and made anew by the run
    // `args`: its output `out` and the file are as before.
    void ExpectRemade(const std::string& path, const std::string& damaged,
                      const std::vector<std::string>& args, const std::string& out) {
        const std::string cache = ReadFileBytes(path), before = ReadFileBytes(work / out);
        WriteFileBytes(path, damaged);
        ASSERT_EQ(Run(args).status, 0);
        EXPECT_EQ(ReadFileBytes(work / out), before);
        EXPECT_EQ(ReadFileBytes(path), cache);
    }
    void SetUp() override {
        for (const char* tool : {"python3", "ogr2ogr", "cs2cs"})
            if (!Have(tool)) GTEST_SKIP() << tool << " is not installed (gdal-bin, proj-bin)";
    }
};

// Our longitude/latitude of each point against cs2cs's: 1 mm in latitude.
void ExpectCs2csAgrees(const std::string& crs, bool northFirst, const std::vector<CPoint>& points,
                       const std::vector<CRead>& read, const std::string& folder) {
    ASSERT_EQ(read.size(), points.size()) << crs;
    std::vector<std::pair<double, double>> grid;
    for (const CPoint& p : points)
        grid.emplace_back(northFirst ? p.n : p.e, northFirst ? p.e : p.n);
    const auto forward = Cs2cs(crs, "EPSG:4326", grid, folder);
    ASSERT_EQ(forward.size(), points.size());
    const double mmLat = 0.001 / 111000;  // a millimetre in latitude, and less in longitude
    for (size_t i = 0; i < points.size(); ++i) {
        // EPSG:4326 is latitude first.
        ASSERT_NEAR(read[i].y, forward[i].first, mmLat) << crs << " point " << i;
        ASSERT_NEAR(read[i].x, forward[i].second, mmLat) << crs << " point " << i;
        ASSERT_NEAR(read[i].z, points[i].z, 1e-9) << crs << " point " << i;
    }
}

}  // namespace

TEST_F(ExportCli, HostileNamesComeBackFromEveryFormat) {
    // Names as the data means them; XML cannot hold most control bytes and gets
    // their pictures, bytes that are not GBK become U+FFFD in UTF-8 files.
    struct CName {
        std::string bytes;  // code page 936 bytes in the data
        std::string utf8;   // what a UTF-8 reader gets from CSV and JSON
        std::string xml;    // what an XML reader gets
    };
    const CName names[] = {
        {Utf8ToGbk("引号\"和'"), "引号\"和'", "引号\"和'"},
        {"<&>;", "<&>;", "<&>;"},
        {"A\002B\033[31m", "A\002B\033[31m", "A\u2402B\u241B[31m"},
        {"T\tab L\nF", "T\tab L\nF", "T\tab L\nF"},
        {"bad\x81", "bad\uFFFD", "bad\uFFFD"},
        {"\x81\x30x\\y", "\uFFFD0x\\y", "\uFFFD0x\\y"},
        {Utf8ToGbk("中文点名"), "中文点名", "中文点名"},
    };
    std::string list;
    std::vector<CPoint> points;
    for (const CName& n : names) {
        const int i = static_cast<int>(points.size());
        points.push_back(
            {n.utf8, i % 2 ? "电杆" : "", 500000.5 + i * 1000.25, 3400000.125 + i * 777, 12.5 - i});
        // The list's line, with the name's own bytes in place of its GBK form.
        list += n.bytes + ListText({points.back()}).substr(Utf8ToGbk(n.utf8).size());
    }
    WriteFileBytes(work / "list.txt", list);
    // Measurement records may hold commas in names and codes, which a list cannot.
    std::string framed;
    FramePayload("_+A,\"B\"_ U+3400000125+500000500+12500_*,C_,", framed);
    WriteFileBytes(work / "m.txt", framed);
    const CName comma = {"A,\"B\"", "A,\"B\"", "A,\"B\""};
    const std::vector<CPoint> commaPoints = {{comma.utf8, ",C", 500000.5, 3400000.125, 12.5}};

    const struct {
        std::string format;
        std::vector<std::string> options;
        const char* kind;
        bool xml, lonLat, gbk;
    } formats[] = {
        {"csv", {}, "csv", false, false, false},
        {"csv", {"--encoding", "gbk"}, "csv-gbk", false, false, true},
        {"geojson", {"--crs", "EPSG:4547"}, "geojson", false, true, false},
        {"kml", {"--crs", "4547"}, "kml", true, true, false},
        {"landxml", {"--crs", "EPSG:4547"}, "landxml", true, false, false},
    };
    for (const auto& f : formats) {
        for (const bool measured : {false, true}) {
            SCOPED_TRACE(std::string(f.kind) + (measured ? " measurement" : " list"));
            const std::vector<CPoint>& want = measured ? commaPoints : points;
            const std::string out = "out." + f.format;
            std::vector<std::string> args = {f.format, measured ? "m.txt" : "list.txt", "-o", out};
            args.insert(args.end(), f.options.begin(), f.options.end());
            const CJvsResult r = Run(args);
            ASSERT_EQ(r.status, 0) << r.err;
            const std::vector<CRead> read = ReadBack(f.kind, work / out);
            ASSERT_EQ(read.size(), want.size());
            for (size_t k = 0; k < want.size(); ++k) {
                const CName& n = measured ? comma : names[k];
                EXPECT_EQ(read[k].name, f.gbk ? n.bytes : f.xml ? n.xml : n.utf8) << k;
                EXPECT_EQ(read[k].code, f.gbk ? Utf8ToGbk(want[k].code) : want[k].code) << k;
                if (!f.lonLat) {
                    EXPECT_DOUBLE_EQ(read[k].x, want[k].e) << k;
                    EXPECT_DOUBLE_EQ(read[k].y, want[k].n) << k;
                    EXPECT_DOUBLE_EQ(read[k].z, want[k].z) << k;
                }
            }
            if (f.lonLat) ExpectCs2csAgrees("EPSG:4547", true, want, read, work.Path());
        }
    }
}

TEST_F(ExportCli, OtherGridsAgreeWithCs2csAndDamagedKeptAnswersAreMadeAnew) {
    // A datum PROJ shifts region by region (Beijing 1954: a Helmert shift in
    // the Pearl River box, whose north edge is at N 2537625.39, a ballpark one
    // elsewhere) from the table (CM 114E), and found in PROJ's database then
    // taken from the cache (zone 38, eastings 38 million more), and a PROJ
    // string; each run twice.
    std::vector<CPoint> few = {
        {"A", "", 500123.456, 3400321.987, 10}, {"B", "X", 452000, 2550000.5, -3.25},
        {"C", "", 560000.001, 4400000, 1500},   {"D", "", 400000, 2450000, 0},
        {"E", "", 500000, 2537625.3, 0},        {"F", "", 500000, 2537625.5, 0}};
    std::vector<CPoint> zone38 = few;
    for (CPoint& p : zone38) p.e += 38000000;
    const struct {
        std::string crs;
        const std::vector<CPoint>& points;
        bool northFirst;
    } grids[] = {
        {"EPSG:2435", few, true},
        {"EPSG:2414", zone38, true},
        {"+proj=tmerc +lon_0=114 +k=1 +x_0=500000 +ellps=GRS80 +units=m +type=crs", few, false}};
    for (const auto& g : grids) {
        WriteFileBytes(work / "few.txt", ListText(g.points));
        const std::vector<std::string> args = {"geojson",     "few.txt", "-o",
                                               "few.geojson", "--crs",   g.crs};
        std::string first;
        for (const bool again : {false, true}) {
            SCOPED_TRACE(g.crs + (again ? " again" : ""));
            const CJvsResult r = Run(args);
            ASSERT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.err, "");
            ExpectCs2csAgrees(g.crs, g.northFirst, g.points,
                              ReadBack("geojson", work / "few.geojson"), work.Path());
            if (first.empty()) first = ReadFileBytes(work / "few.geojson");
            EXPECT_EQ(ReadFileBytes(work / "few.geojson"), first);
        }
        // The kept regional operations cut short, or damaged in the middle
        // (zone 38's false easting 38500000 made 38600000), are read past and
        // made anew. Only PROJ's release the table was made with keeps them.
        if (g.crs != "EPSG:2414" || !UsualGridsFitThisProj()) continue;
        int damaged = 0;
        for (const auto& entry : fs::directory_iterator(work / "cache/jvs-transfer")) {
            const std::string cache = ReadFileBytes(entry.path());
            if (cache.find("785f303d3338") == std::string::npos) continue;
            ++damaged;
            ExpectRemade(entry.path(), cache.substr(0, cache.size() / 2), args, "few.geojson");
            ExpectRemade(entry.path(), Shifted(cache, "785f303d3338", 13), args, "few.geojson");
        }
        EXPECT_EQ(damaged, 1);
    }
}

TEST_F(ExportCli, RefusalsNameTheProblemAndWriteNothing) {
    const std::string good = "P1,,500000,3400000,1\r\n";
    const std::string far = good + "FAR,,500000,1000,1\r\n";
    const struct {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string err;  // the start of standard error
    } cases[] = {
        {{"geojson"}, good, 1, "导出GeoJSON需要指定坐标系(例如 EPSG:4547)!\n"},
        {{"kml", "--crs", "EPSG:999999"}, good, 1, "未知的坐标系!\nEPSG:999999\n"},
        {{"geojson", "--crs", "EPSG:4326"}, good, 1, "不是平面坐标系!\nWGS 84\n"},
        {{"kml", "--crs", "EPSG:4547"}, far, 1, "点位超出坐标系的适用范围!\n第2行 点FAR\n"},
        {{"csv"}, "hello\r\n", 1, "没有坐标数据!\n"},
        {{"csv"}, good + "P2,,1,x,3\r\n", 1, "不是有效的坐标!\n第2行\n"},
        {{"csv", "--encoding", "latin1"}, good, 2, "jvs export: --encoding takes utf8 or gbk\n"},
        {{"shp"}, good, 2, "jvs export: unknown operation 'shp'\n"},
    };
    WriteFileBytes(work / "old.out", "keep me");
    for (const auto& c : cases) {
        for (const char* out : {"old.out", "new.out"}) {
            std::vector<std::string> args = c.args;
            args.insert(args.end(), {"-o", out});
            const CJvsResult r = Run(args, c.input);
            EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.err;
            EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << r.err;
        }
    }
    EXPECT_EQ(ReadFileBytes(work / "old.out"), "keep me");
    EXPECT_FALSE(fs::exists(work / "new.out"));
}
