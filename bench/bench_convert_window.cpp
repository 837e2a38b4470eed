// Whole conversion commands in the window (offscreen): a 1,048,575-byte view text,
// the command through the frame's dispatch, until the new text is laid out.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <string>

#include "BenchSupport.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "convert/BlockFraming.h"
#include "convert/Converters.h"
#include "ui/MessageSeam.h"
#include "ui/ViewText.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

namespace {

constexpr size_t kInputSize = 1048575;
int g_messages = 0;

// The sample texts at the view's open bound less a byte, padded to it.
std::string Padded(std::string text) {
    text.resize(kInputSize, ' ');
    return text;
}

// One command on the given view text; the reported time covers dispatch,
// conversion, replacing the view and laying it out.
void RunCommand(benchmark::State& state, unsigned id, const std::string& input) {
    std::string expected;
    for (auto _ : state) {
        state.PauseTiming();
        BenchApp()->SetViewText(input);
        QCoreApplication::processEvents();
        const int messagesBefore = g_messages;
        state.ResumeTiming();
        BenchApp()->Frame()->OnCommand(id);
        QCoreApplication::processEvents();
        BenchApp()->View()->repaint();  // responsive: the new text is on the screen
        state.PauseTiming();
        std::string shown;
        BenchApp()->GetViewText(shown);
        if (g_messages != messagesBefore || shown == input) state.SkipWithError("no result shown");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
}

void BM_WindowTervCoords210(benchmark::State& s) {
    static const std::string in = Coords210(kInputSize);
    RunCommand(s, cmd::kTervCoords210, in);
}
void BM_WindowTervCoords610(benchmark::State& s) {
    static const char* const kTags[] = {"08KI", "02TP", "08TP"};
    static const std::string in = Padded(Fixed(kTags, 3, kInputSize));
    RunCommand(s, cmd::kTervCoords610, in);
}
void BM_WindowTervEdgeAngle610(benchmark::State& s) {
    static const char* const kTags[] = {"09F1", "09F2"};
    static const std::string in = Padded(Fixed(kTags, 2, kInputSize));
    RunCommand(s, cmd::kTervEdgeAngle610, in);
}
void BM_WindowTervMeasurement210(benchmark::State& s) {
    static const std::string in = Measurement(kInputSize);
    RunCommand(s, cmd::kTervMeasurement210, in);
}
void BM_WindowPcodeList(benchmark::State& s) {
    static const std::string in = RawCodes(kInputSize);
    RunCommand(s, cmd::kPcodeList, in);
}
void BM_WindowShowCoordBlocks210(benchmark::State& s) {
    static const std::string in = Padded(TervList(kInputSize));
    RunCommand(s, cmd::kShowCoordBlocks210, in);
}
void BM_WindowDxfExport(benchmark::State& s) {
    static const std::string in = Padded(TervList(kInputSize));
    RunCommand(s, cmd::kDxfExport, in);
    s.counters["rss_mb"] = ResidentMb();
}
// References for the line above, in the same run: the conversion alone, and
// the same result laid out by a plain-text widget (what the view used to be).
void BM_DxfExportCoreOnly(benchmark::State& s) {
    static const std::string in = Padded(TervList(kInputSize));
    for (auto _ : s) benchmark::DoNotOptimize(OnDxfExport(in));
}
void BM_DxfResultInPlainTextEdit(benchmark::State& s) {
    static const std::string in = Padded(TervList(kInputSize));
    static const std::string dxf = OnDxfExport(in).m_text;
    QPlainTextEdit edit;
    edit.resize(800, 600);
    edit.show();
    for (auto _ : s) {
        edit.setPlainText(DecodeViewText(dxf));
        QCoreApplication::processEvents();
        edit.repaint();
    }
    s.counters["rss_mb"] = ResidentMb();
}

}  // namespace

BENCHMARK(BM_WindowTervCoords210)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_WindowTervCoords610)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_WindowTervEdgeAngle610)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_WindowTervMeasurement210)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_WindowPcodeList)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_WindowShowCoordBlocks210)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_WindowDxfExport)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_DxfExportCoreOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
// Last: its memory stays with the process.
BENCHMARK(BM_DxfResultInPlainTextEdit)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv) {
    CWindowBench bench;
    bench.onMessage = [](const QString& text) {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        ++g_messages;
    };
    return RunWindowBenchmarks(argc, argv, bench);
}
