// How long the view takes to show and give back a full-size text (1 MiB):
// the codec alone both ways, and through the edit widget.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <string>

#include "convert/ViewCodec.h"
#include "doc/CommunicationView.h"

namespace {
std::string SampleText() {
    std::string text;
    int n = 0;
    while (text.size() < (1u << 20) - 64)
        text += "PT" + std::to_string(n++) + ",\xB5\xE3\xC3\xFB,2034.512,-1187.004,35.220\r\n";
    return text;
}
const std::string& Sample() {
    static const std::string text = SampleText();
    return text;
}
}  // namespace

static void BM_DecodeDisplay(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(DecodeViewDisplay(Sample()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Sample().size()));
}
BENCHMARK(BM_DecodeDisplay)->Unit(benchmark::kMillisecond);

static void BM_EncodeDisplay(benchmark::State& state) {
    const QString shown = DecodeViewDisplay(Sample());
    for (auto _ : state) benchmark::DoNotOptimize(EncodeViewDisplay(shown));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Sample().size()));
}
BENCHMARK(BM_EncodeDisplay)->Unit(benchmark::kMillisecond);

static void BM_ViewSetBytes(benchmark::State& state) {
    CCommunicationView view;
    view.resize(800, 600);
    for (auto _ : state) view.SetBytes(Sample());
}
BENCHMARK(BM_ViewSetBytes)->Unit(benchmark::kMillisecond);

static void BM_ViewGetBytes(benchmark::State& state) {
    CCommunicationView view;
    view.SetBytes(Sample());
    for (auto _ : state) benchmark::DoNotOptimize(view.GetBytes());
}
BENCHMARK(BM_ViewGetBytes)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
