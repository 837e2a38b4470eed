// The point exports as a user runs them: the whole `jvs export` process on a
// 1 MiB TERV list (26,000+ points), every format, with and without a grid
// transformation (the grid's pipeline found in PROJ's database on the first
// run, read from the cache folder after it).
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
        std::string list;
        unsigned seed = 12345;
        const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
        for (int i = 1;; ++i) {
            char line[96];
            const unsigned code = next() % 30;
            const std::string codeText = code < 10 ? "C" + std::to_string(code) : "";
            std::snprintf(line, sizeof line, "P%d,%s,%.3f,%.3f,%.2f\r\n", i, codeText.c_str(),
                          380000 + next() % 240000000 / 1000.0,
                          2600000 + next() % 1800000000 / 1000.0, (next() % 90000) / 100.0 - 100);
            if (list.size() + std::strlen(line) > 1048575) break;
            list += line;
        }
        std::ofstream(path / "list.txt", std::ios::binary) << list;
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
    args.insert(args.begin(), {"export"});
    args.insert(args.end(), {(folder / "list.txt").string(), "-o", (folder / "out").string()});
    // Several programs build on this machine at once: the fastest run is the
    // nearest to an idle one, and is reported beside the mean.
    double cpuMs = 0, cpuTotal = 0, cpuMin = 1e9, wallMin = 1e9;
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
EXPORT_BENCH(landxml_crs, false, "landxml", "--crs", "EPSG:4547");
EXPORT_BENCH(geojson_crs, false, "geojson", "--crs", "EPSG:4547");
EXPORT_BENCH(kml_crs, false, "kml", "--crs", "EPSG:4547");
EXPORT_BENCH(geojson_crs_first_run, true, "geojson", "--crs", "EPSG:4547");
EXPORT_BENCH(kml_beijing1954, false, "kml", "--crs", "EPSG:2435");

}  // namespace

BENCHMARK_MAIN();
