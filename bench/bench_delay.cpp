// CPU used while a worker waits: a 5 s DelayMs and a 5 s receive-style wait on
// an idle line. Both block, so the figure should be far below 2 % of a core.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>

#include "TempCwd_support.h"
#include "link/SerialPort.h"
#include "sim/Pty.h"
#include "transfer/TransferState.h"

namespace {

double ThreadCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

template <class Wait>
void MeasureWait(benchmark::State& state, Wait wait) {
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double c0 = ThreadCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        wait();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += ThreadCpuSeconds() - c0;
    }
    state.counters["cpu_percent_of_core"] = wall > 0 ? 100.0 * cpu / wall : 0;
    state.counters["wall_s"] = wall / static_cast<double>(state.iterations());
}

void BM_DelayMs5s(benchmark::State& state) {
    MeasureWait(state, [] { DelayMs(5000); });
}
BENCHMARK(BM_DelayMs5s)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_IdleLineWait5s(benchmark::State& state) {
    CTempComDir dir;
    CPty pty;
    if (!pty.Create() || !pty.LinkAs(dir.PortPath(1))) {
        state.SkipWithError("no pty");
        return;
    }
    ComSettingsRecord settings;
    if (!g_SerialPort.Open(settings, SerialTimeouts{})) {
        state.SkipWithError("open failed");
        return;
    }
    // The download's receive loop: wait for input until the deadline.
    MeasureWait(state, [] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) g_SerialPort.WaitForInput(deadline);
    });
    g_SerialPort.Close();
}
BENCHMARK(BM_IdleLineWait5s)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
