// Prism constant correction over view texts of growing size: the work is one
// pass over the text, so time per byte stays flat.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "edit/PrismCorrection.h"

namespace {

std::string MakeView(std::size_t bytes) {
    std::string text;
    text.reserve(bytes + 64);
    char line[96];
    for (int i = 0; text.size() < bytes; ++i) {
        const int n = std::snprintf(line, sizeof line, "P%05d,CODE%d,%d.%03d,-%d.%03d,%d.%03d\r\n",
                                    i, i % 97, 100 + i % 900, i % 1000, 50 + i % 300,
                                    (i * 7) % 1000, i % 40, (i * 3) % 1000);
        text.append(line, static_cast<std::size_t>(n));
    }
    return text;
}

void BM_PrismCorrection(benchmark::State& state) {
    const std::string view = MakeView(static_cast<std::size_t>(state.range(0)));
    const float oldConst = PrismConstantMetres(-30.0);
    const float newConst = PrismConstantMetres(0.0);
    std::string out;
    for (auto _ : state) {
        const PrismResult result = CorrectPrismText(view, oldConst, newConst, out);
        if (result != PrismResult::kCorrected) state.SkipWithError("not corrected");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(view.size()));
    state.SetComplexityN(state.range(0));
}

}  // namespace

BENCHMARK(BM_PrismCorrection)
    ->RangeMultiplier(2)
    ->Range(128 << 10, 4 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

BENCHMARK_MAIN();
