// The point exports as a user runs them: the whole `jvs export` process on a
// 1 MiB TERV list (26,000+ points), every format, with and without a grid
// transformation. A usual grid's answer comes from the program's table; any
// other grid's is found in PROJ's database on its first run (an empty cache
// folder) and read from the cache folder after it.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const fs::path& Folder() {
    static const fs::path folder = [] {
        char pattern[] = "/tmp/jvs-bench-export-XXXXXX";
        const fs::path path = mkdtemp(pattern);
        // 26,000+ points in 1,048,575 bytes, spread over zone CM 114E.
        std::string list, zone38;  // the same points with the zone number before the easting
        unsigned seed = 12345;
        const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
        for (int i = 1;; ++i) {
            char line[96], line38[96];
            const unsigned code = next() % 30;
            const std::string codeText = code < 10 ? "C" + std::to_string(code) : "";
            const double e = 380000 + next() % 240000000 / 1000.0;
            const double n = 2600000 + next() % 1800000000 / 1000.0;
            const double z = (next() % 90000) / 100.0 - 100;
            std::snprintf(line, sizeof line, "P%d,%s,%.3f,%.3f,%.2f\r\n", i, codeText.c_str(), e, n,
                          z);
            std::snprintf(line38, sizeof line38, "P%d,%s,%.3f,%.3f,%.2f\r\n", i, codeText.c_str(),
                          e + 38000000, n, z);
            if (list.size() + std::strlen(line) > 1048575) break;
            list += line;
            zone38 += line38;
        }
        std::ofstream(path / "list.txt", std::ios::binary) << list;
        std::ofstream(path / "list38.txt", std::ios::binary) << zone38;
        setenv("XDG_CACHE_HOME", (path / "cache").c_str(), 1);
        return path;
    }();
    return folder;
}

// One whole `jvs export` run; false when it failed. `cpuMs` gets the CPU time
// it used (user and system), which a busy machine inflates less than the wall.
bool RunJvs(const std::vector<std::string>& args, double& cpuMs) {
    std::vector<char*> argv;
    std::string exe = JVS_EXE;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return false;
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
            (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void Export(benchmark::State& state, std::vector<std::string> args, bool firstRun) {
    const fs::path folder = Folder();
    const bool zone38 = args.back() == "zone38";
    if (zone38) args.pop_back();
    args.insert(args.begin(), {"export"});
    args.insert(args.end(), {(folder / (zone38 ? "list38.txt" : "list.txt")).string(), "-o",
                             (folder / "out").string()});
    double cpuMs = 0, cpuTotal = 0, cpuMin = 1e9, wallMin = 1e9;
    if (!firstRun) RunJvs(args, cpuMs);  // the cache as a run before this one left it
    // Several programs build on this machine at once: the fastest run is the
    // nearest to an idle one, and is reported beside the mean.
    for (auto _ : state) {
        if (firstRun) fs::remove_all(folder / "cache");
        const auto start = std::chrono::steady_clock::now();
        if (!RunJvs(args, cpuMs)) {
            state.SkipWithError("jvs export failed");
            return;
        }
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(wall);
        cpuTotal += cpuMs;
        cpuMin = std::min(cpuMin, cpuMs);
        wallMin = std::min(wallMin, wall * 1e3);
    }
    state.counters["cpu_ms"] = cpuTotal / static_cast<double>(state.iterations());
    state.counters["min_cpu_ms"] = cpuMin;
    state.counters["min_wall_ms"] = wallMin;
}

#define EXPORT_BENCH(name, first, ...)                                            \
    BENCHMARK_CAPTURE(Export, name, std::vector<std::string>{__VA_ARGS__}, first) \
        ->UseManualTime()                                                         \
        ->Unit(benchmark::kMillisecond)

EXPORT_BENCH(csv_utf8, false, "csv");
EXPORT_BENCH(csv_gbk, false, "csv", "--encoding", "gbk");
EXPORT_BENCH(landxml, false, "landxml");
// Usual grids: CGCS2000, Beijing 1954 (a regional shift), Xian 1980.
EXPORT_BENCH(landxml_cgcs2000, true, "landxml", "--crs", "EPSG:4547");
EXPORT_BENCH(geojson_cgcs2000, true, "geojson", "--crs", "EPSG:4547");
EXPORT_BENCH(kml_cgcs2000, true, "kml", "--crs", "EPSG:4547");
EXPORT_BENCH(kml_beijing1954, true, "kml", "--crs", "EPSG:2435");
EXPORT_BENCH(geojson_xian1980, true, "geojson", "--crs", "EPSG:2383");
// Other grids: searched for on the first run, from the cache after it.
EXPORT_BENCH(geojson_beijing1954_zone38_first_run, true, "geojson", "--crs", "EPSG:2414", "zone38");
EXPORT_BENCH(geojson_beijing1954_zone38_cached, false, "geojson", "--crs", "EPSG:2414", "zone38");
EXPORT_BENCH(geojson_proj_string_first_run, true, "geojson", "--crs",
             "+proj=tmerc +lon_0=114 +k=1 +x_0=500000 +ellps=GRS80 +units=m +type=crs");
EXPORT_BENCH(geojson_proj_string_cached, false, "geojson", "--crs",
             "+proj=tmerc +lon_0=114 +k=1 +x_0=500000 +ellps=GRS80 +units=m +type=crs");

}  // namespace

BENCHMARK_MAIN();
