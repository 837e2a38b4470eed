// What the benchmarks share: the sample texts they time, and the window the
// window-level ones run in.
#pragma once

#include <benchmark/benchmark.h>

#include <QString>
#include <cstddef>
#include <functional>
#include <string>

class CCommunicationApp;
class CTempComDir;

// Sample texts of at most `size` bytes, whole lines or records only.
// A TERV210 coordinate list (about 39 bytes a line: 26,886 lines in 1 MiB).
std::string TervList(size_t size);
// Coordinates with six decimals, as a corrected list has them.
std::string PrismList(size_t size);
// A code list of full-width rows (16 bytes: 65,535 rows in 1 MiB).
std::string CodeList(size_t size);
// QMX210 blocks (coordinates, measurements, raw codes), framed and padded
// with line feeds to exactly `size`.
std::string Coords210(size_t size);
std::string Measurement(size_t size);
std::string RawCodes(size_t size);
// Fixed-width QMX610/710 records: 84 or 100 characters and CR LF.
std::string Fixed(const char* const* tags, int tagCount, size_t size);

// The process's resident memory in MiB (-1 where it cannot be read).
double ResidentMb();

struct CWindowBench {
    // Each message the program shows; it is answered OK.
    std::function<void(const QString&)> onMessage;
    // Whether the current folder moves to the settings folder too.
    bool workInSettingsFolder = false;
    // Run instead of the benchmarks when set; its result is the exit status.
    std::function<int()> instead;
};

// Runs the benchmarks named on the command line in the program's window:
// offscreen unless QT_QPA_PLATFORM says otherwise, its settings and recent
// files in a temporary folder of its own.
int RunWindowBenchmarks(int& argc, char** argv, const CWindowBench& bench);
// The window's application while RunWindowBenchmarks runs.
CCommunicationApp* BenchApp();

// One download of `data` (ended by ETX) at full speed into the window, as the
// QMX610/710 download under Ack/Nak from a pseudo-terminal linked as COM1 in
// `ports`; the view is emptied first, untimed. `started`
// runs once the transfer runs, `ended` once it ended and the view was
// brought up to date, both on the window's thread. Returns the milliseconds
// from the start until the window showed "数据接收完成!"; a view short of
// `data` fails the benchmark.
double DownloadIntoWindow(benchmark::State& state, const CTempComDir& ports,
                          const std::string& data, const std::function<void()>& started = {},
                          const std::function<void()>& ended = {});
