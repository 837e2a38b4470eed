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
CCommunicationApp* g_benchApp = nullptr;
int g_messages = 0;

template <typename Make>
std::string Fill(Make make, size_t limit) {
    std::string text;
    for (int i = 0;; ++i) {
        std::string piece = make(i);
        if (text.size() + piece.size() > limit) break;
        text += piece;
    }
    return text;
}

std::string TervList() {
    std::string text = Fill(
        [](int i) {
            char line[96];
            std::snprintf(line, sizeof line, "P%d,C%d,%d.%03d,%d.%03d,%d.%02d\r\n", i, i % 50,
                          1000 + i % 90000, i % 1000, 5000 + i % 7000, (i * 7) % 1000, 40 + i % 20,
                          i % 100);
            return std::string(line);
        },
        kInputSize);
    text.resize(kInputSize, ' ');
    return text;
}

std::string Coords210() {
    const std::string payload = Fill(
        [](int i) {
            char r[64];
            std::snprintf(r, sizeof r, "_+P%-8d_ x+%09d_ y-%09d_ z+%09d", i % 100000000, i * 3,
                          i * 5, i % 99999);
            return std::string(r);
        },
        (kInputSize - 200) / 136 * 128);
    std::string text;
    FramePayload(payload, text);
    text.resize(kInputSize, '\n');
    return text;
}

std::string Framed(const std::string& payload) {
    std::string text;
    FramePayload(payload, text);
    text.resize(kInputSize, '\n');
    return text;
}

std::string Measurement() {
    return Framed(Fill(
        [](int i) {
            char r[80];
            std::snprintf(r, sizeof r, "_+P%d_ U+%d-%d+%d_ H1.600_*TREE_,", i, 5000000 + i,
                          1000000 + i, i % 50000);
            return std::string(r);
        },
        (kInputSize - 200) / 136 * 128));
}

std::string RawCodes() {
    return Framed(Fill(
        [](int i) {
            char r[32];
            std::snprintf(r, sizeof r, "_:%03dCODE%-6d", i % 1000, i % 100000);
            return std::string(r);
        },
        (kInputSize - 200) / 136 * 128));
}

// Fixed-width records: 84 or 100 characters and CR LF.
std::string Fixed(const char* const* tags, int tagCount, int fields) {
    std::string text = Fill(
        [&](int i) {
            char r[160], name[16];
            // Built with snprintf: "P" + std::to_string trips a GCC 12 false warning at -O3.
            std::snprintf(name, sizeof name, "P%d", i);
            std::snprintf(r, sizeof r, "%s  %-14s", tags[i % tagCount], name);
            std::string line = r;
            const int count = (fields == 5 && std::string(tags[i % tagCount]) == "02TP") ? 6 : 5;
            for (int f = 0; f < count; ++f) {
                std::snprintf(r, sizeof r, "%-16s", f == count - 1 ? "TREE" : "1234.567");
                line += r;
            }
            return line + "\r\n";
        },
        kInputSize);
    text.resize(kInputSize, ' ');
    return text;
}

double ResidentMb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return -1;
    char line[256];
    double kb = -1;
    while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %lf", &kb) == 1) break;
    std::fclose(f);
    return kb / 1024;
}

// One command on the given view text; the reported time covers dispatch,
// conversion, replacing the view and laying it out.
void RunCommand(benchmark::State& state, unsigned id, const std::string& input) {
    std::string expected;
    for (auto _ : state) {
        state.PauseTiming();
        g_benchApp->SetViewText(input);
        QCoreApplication::processEvents();
        const int messagesBefore = g_messages;
        state.ResumeTiming();
        g_benchApp->Frame()->OnCommand(id);
        QCoreApplication::processEvents();
        g_benchApp->View()->repaint();  // responsive: the new text is on the screen
        state.PauseTiming();
        std::string shown;
        g_benchApp->GetViewText(shown);
        if (g_messages != messagesBefore || shown == input) state.SkipWithError("no result shown");
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(input.size()));
}

void BM_WindowTervCoords210(benchmark::State& s) {
    static const std::string in = Coords210();
    RunCommand(s, cmd::kTervCoords210, in);
}
void BM_WindowTervCoords610(benchmark::State& s) {
    static const char* const kTags[] = {"08KI", "02TP", "08TP"};
    static const std::string in = Fixed(kTags, 3, 5);
    RunCommand(s, cmd::kTervCoords610, in);
}
void BM_WindowTervEdgeAngle610(benchmark::State& s) {
    static const char* const kTags[] = {"09F1", "09F2"};
    static const std::string in = Fixed(kTags, 2, 4);
    RunCommand(s, cmd::kTervEdgeAngle610, in);
}
void BM_WindowTervMeasurement210(benchmark::State& s) {
    static const std::string in = Measurement();
    RunCommand(s, cmd::kTervMeasurement210, in);
}
void BM_WindowPcodeList(benchmark::State& s) {
    static const std::string in = RawCodes();
    RunCommand(s, cmd::kPcodeList, in);
}
void BM_WindowShowCoordBlocks210(benchmark::State& s) {
    static const std::string in = TervList();
    RunCommand(s, cmd::kShowCoordBlocks210, in);
}
void BM_WindowDxfExport(benchmark::State& s) {
    static const std::string in = TervList();
    RunCommand(s, cmd::kDxfExport, in);
    s.counters["rss_mb"] = ResidentMb();
}
// References for the line above, in the same run: the conversion alone, and
// the same result laid out by a plain-text widget (what the view used to be).
void BM_DxfExportCoreOnly(benchmark::State& s) {
    static const std::string in = TervList();
    for (auto _ : s) benchmark::DoNotOptimize(OnDxfExport(in));
}
void BM_DxfResultInPlainTextEdit(benchmark::State& s) {
    static const std::string in = TervList();
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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.filePath("cfg"));
    SetMessageHook([](const QString& text, EButtons) {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        ++g_messages;
        return EAnswer::Ok;
    });
    CCommunicationApp app;
    StartOptions options;
    options.showSplash = false;
    options.startupWait = false;
    if (!app.InitInstance(options)) return 1;
    g_benchApp = &app;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    app.Doc()->SetModified(false);
    return 0;
}
