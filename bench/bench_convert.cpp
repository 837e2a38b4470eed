// Every conversion on a 1,048,575-byte input (the largest file the view opens).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "convert/BlockFraming.h"
#include "convert/Converters.h"

namespace {

constexpr size_t kInputSize = 1048575;

// Repeats `make(i)` until the text is about to pass the size.
template <typename Make>
std::string Build(Make make) {
    std::string text;
    for (int i = 0;; ++i) {
        std::string piece = make(i);
        if (text.size() + piece.size() > kInputSize) break;
        text += piece;
    }
    return text;
}

std::string Fit(std::string text) {
    text.resize(kInputSize, ' ');
    return text;
}

std::string TervLine(int i) {
    char line[96];
    std::snprintf(line, sizeof line, "P%d,CODE%d,%d.%03d,-%d.%03d,%d.%02d\r\n", i, i % 50,
                  1000 + i % 90000, i % 1000, 5000 + i % 7000, (i * 7) % 1000, 40 + i % 20,
                  i % 100);
    return line;
}

void AppendPadded(std::string& out, const std::string& field, size_t width) {
    out.append(field).append(width - field.size(), ' ');
}

std::string Record610(int i) {
    static const char* const kTags[] = {"08KI", "02TP", "08TP"};
    std::string line = kTags[i % 3];
    line.append("  ");
    AppendPadded(line, std::string("P").append(std::to_string(i)), 14);
    for (const char* value : {"5020.125", "1010.250", "44.900"}) AppendPadded(line, value, 16);
    if (i % 3 == 1) AppendPadded(line, "1.600", 16);
    AppendPadded(line, i % 5 ? "TREE" : "0", 16);
    return line.append("\r\n");
}

std::string Record09(int i) {
    std::string line = i % 2 ? "09F2  " : "09F1  ";
    AppendPadded(line, std::string("P").append(std::to_string(i)), 14);
    for (const char* value : {"123.4512", "89.5930", "25.432", "1.600"})
        AppendPadded(line, value, 16);
    AppendPadded(line, i % 3 ? "TREE" : "", 16);
    return line.append("\r\n");
}

std::string CodeLine(int i) {
    std::string line = std::to_string(i % 1000);
    return line.append(",C").append(std::to_string(i % 100000)).append("\r\n");
}

void Run(benchmark::State& state, const std::string& input,
         CConvertResult (*fn)(std::string_view)) {
    for (auto _ : state) {
        CConvertResult r = fn(input);
        if (!r.IsDone()) state.SkipWithError(r.m_message.c_str());
        benchmark::DoNotOptimize(r.m_text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
}

void BM_TervCoords210(benchmark::State& s) {
    static const std::string in = Coords210(kInputSize);
    Run(s, in, OnTervCoords210);
}
void BM_TervCoords610(benchmark::State& s) {
    static const std::string in = Fit(Build(Record610));
    Run(s, in, OnTervCoords610);
}
void BM_TervMeasurement210(benchmark::State& s) {
    static const std::string in = Measurement(kInputSize);
    Run(s, in, OnTervMeasurement210);
}
void BM_TervEdgeAngle610(benchmark::State& s) {
    static const std::string in = Fit(Build(Record09));
    Run(s, in, OnTervEdgeAngle610);
}
void BM_ShowCoordBlocks210(benchmark::State& s) {
    static const std::string in = Fit(Build(TervLine));
    Run(s, in, OnShowCoordBlocks210);
}
void BM_DxfExport(benchmark::State& s) {
    static const std::string in = Fit(Build(TervLine));
    Run(s, in, [](std::string_view t) { return OnDxfExport(t); });
}
void BM_PcodeList(benchmark::State& s) {
    static const std::string in = RawCodes(kInputSize);
    Run(s, in, [](std::string_view t) { return OnPcodeList(t); });
}
void BM_PcodeBlocks(benchmark::State& s) {
    static const std::string in = Fit(Build(CodeLine));
    Run(s, in, [](std::string_view t) {
        std::string out, message;
        return BuildPcodeBlocks(t, out, &message) ? CConvertResult::Done(std::move(out))
                                                  : CConvertResult::Failed(message);
    });
}
void BM_Unframe(benchmark::State& s) {
    static const std::string in = Coords210(kInputSize);
    std::string payload;
    for (auto _ : s) {
        UnframeBlocks(in, payload);
        benchmark::DoNotOptimize(payload.data());
    }
    s.SetBytesProcessed(static_cast<int64_t>(s.iterations()) * static_cast<int64_t>(in.size()));
}

}  // namespace

BENCHMARK(BM_TervCoords210)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TervCoords610)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TervMeasurement210)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TervEdgeAngle610)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShowCoordBlocks210)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DxfExport)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcodeList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PcodeBlocks)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Unframe)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
