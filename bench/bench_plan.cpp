// The plan view with a 1 MiB TERV list (26,000+ points), side by side with
// the text view's own open of the same text: reading and first paint, one
// repaint while panning, the memory it adds, and a 1 MiB download into the
// window with the plan closed and open.
//
//   bench_plan                      the benchmarks (offscreen unless QT_QPA_PLATFORM says
//   otherwise) bench_plan --picture=FILE.png   the help page's picture: samples/terv210.txt in the
//   window
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "BenchSupport.h"
#include "TempCwd_support.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "app/WindowTransferScreen.h"
#include "config/LinkSettings.h"
#include "convert/SurveyPoints.h"
#include "sim/Pty.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"
#include "ui/MessageSeam.h"
#include "ui/PlanDock.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

namespace {

// A site of 2 km by 1.5 km, twelve codes, names like the instruments give
// them: 1 MiB less a little, ended by ETX when downloaded.
std::string SiteList(size_t bytes = (1 << 20) - 64) {
    // Site coordinates of a few thousand metres, as most field work is
    // measured in: 26,000+ lines fit 1 MiB.
    static const char* const codes[] = {"KZ",   "TREE", "POLE", "WALL", "FENCE", "HYD",
                                        "ROAD", "KERB", "MH",   "LAMP", "BLDG",  "DITCH"};
    std::string text;
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    char line[96];
    for (int i = 0;; ++i) {
        const double e = 1000 + (next() % 2000000) / 1000.0;
        const double n = 5000 + (next() % 1500000) / 1000.0;
        const int len = std::snprintf(line, sizeof line, "P%d,%s,%.3f,%.3f,%.3f\r\n", i,
                                      codes[next() % 12], e, n, 40 + (next() % 10000) / 1000.0);
        if (text.size() + static_cast<size_t>(len) > bytes) break;
        text.append(line, static_cast<size_t>(len));
    }
    return text;
}
const std::string& Sample() {
    static const std::string text = SiteList();
    return text;
}

// A plan the size of a dock on a laptop screen, reading the given text.
struct CPlan {
    std::string text;
    CPlanDock dock;
    explicit CPlan(std::string t)
        : text(std::move(t)),
          dock(CPlanSource{[this] { return text; }, [] { return 0L; }, [](size_t) {},
                           [] { return QString(); }}) {
        dock.resize(640, 720);
        dock.Canvas()->setFixedSize(600, 500);
        dock.show();
        for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
    }
};

// What the text view adds and what the plan adds on top of it, once each.
void BM_ResidentMemoryAdded(benchmark::State& state) {
    for (auto _ : state) {
        const double start = ResidentMb();
        CCommunicationView view;
        view.resize(800, 600);
        view.show();
        view.SetBytes(Sample());
        QCoreApplication::processEvents();
        view.repaint();
        const double withText = ResidentMb();
        CPlan plan(Sample());
        plan.dock.Refresh();
        plan.dock.Canvas()->repaint();
        state.counters["view_added_mb"] = withText - start;
        state.counters["plan_added_mb"] = ResidentMb() - withText;
        state.counters["points"] = static_cast<double>(plan.dock.Model()->Size());
    }
}
BENCHMARK(BM_ResidentMemoryAdded)->Unit(benchmark::kMillisecond)->Iterations(1);

// The text view's own open of the text, until painted.
void BM_ViewOpen1MiB(benchmark::State& state) {
    CCommunicationView view;
    view.resize(800, 600);
    view.show();
    for (auto _ : state) {
        view.SetBytes({});
        view.SetBytes(Sample());
        QCoreApplication::processEvents();
        view.repaint();
    }
}
BENCHMARK(BM_ViewOpen1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reader alone, and the reader with the model's indexes.
void BM_PlanRead1MiB(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(ReadSurveyPoints(Sample()));
}
BENCHMARK(BM_PlanRead1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_PlanModel1MiB(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(CPlanModel(ReadSurveyPoints(Sample()), Sample()));
}
BENCHMARK(BM_PlanModel1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// Read, indexed, legend and checklist filled, and painted: what opening a
// file costs the plan.
void BM_PlanReadAndFirstPaint1MiB(benchmark::State& state) {
    CPlan plan(Sample());
    for (auto _ : state) {
        plan.dock.Refresh();
        plan.dock.Canvas()->repaint();
    }
    state.counters["points"] = static_cast<double>(plan.dock.Model()->Size());
}
BENCHMARK(BM_PlanReadAndFirstPaint1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// One repaint while panning: the whole site in sight (labels would crowd, so
// none), and zoomed in eight times (labels where they fit).
void Panning(benchmark::State& state, double zoom) {
    CPlan plan(Sample());
    plan.dock.Refresh();
    CPlanCanvas* canvas = plan.dock.Canvas();
    CPlanTransform t = canvas->Transform();
    t.scale *= zoom;
    canvas->SetTransform(t);
    canvas->repaint();
    int step = 0;
    for (auto _ : state) {
        t.centerE += ((step++ / 20) % 2 ? -3 : 3) / t.scale;  // back and forth
        canvas->SetTransform(t);
        canvas->repaint();
    }
    state.counters["in_sight"] = static_cast<double>(canvas->LastInSight());
}
void BM_PlanPanRepaintAll(benchmark::State& state) {
    Panning(state, 1);
}
void BM_PlanPanRepaintZoomed(benchmark::State& state) {
    Panning(state, 8);
}
BENCHMARK(BM_PlanPanRepaintAll)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlanPanRepaintZoomed)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 1 MiB download at full speed through a pseudo-terminal into the window,
// with the plan closed (argument 0) and open (1). Besides the time until
// "数据接收完成!", the longest the window's loop was kept from a 10 ms timer.
void BM_WindowDownload1MiB(benchmark::State& state) {
    const bool planOpen = state.range(0) != 0;
    std::string data = SiteList((1 << 20) - 1);
    data += '\x03';
    CTempComDir ports;
    // A desktop's window: the text keeps its full width beside the plan, so
    // both runs lay the text out alike.
    CMainFrame* frame = BenchApp()->Frame();
    frame->showNormal();
    frame->resize(1600, 900);
    auto* dock = frame->findChild<CPlanDock*>();
    if (dock->isHidden() == planOpen) frame->OnCommand(cmd::kViewPlan);
    frame->resizeDocks({dock}, {560}, Qt::Horizontal);
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    double receivedMs = 0, worstStall = 0;
    for (auto _ : state) {
        QElapsedTimer tick;
        QTimer probe;
        double stall = 0;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            stall = std::max(stall, static_cast<double>(tick.elapsed() - 10));
            tick.start();
        });
        receivedMs += DownloadIntoWindow(
            state, ports, data,
            [&] {
                tick.start();
                probe.start(10);
            },
            [&] { probe.stop(); });
        if (planOpen) {
            // The plan catches up with the last text once the download is done.
            state.PauseTiming();
            dock->Refresh();
            state.counters["plan_points"] = static_cast<double>(dock->Model()->Size());
            state.ResumeTiming();
        }
        worstStall = std::max(worstStall, stall);
    }
    state.counters["until_complete_message_ms"] =
        receivedMs / static_cast<double>(state.iterations());
    state.counters["max_ui_stall_ms"] = worstStall;
}
BENCHMARK(BM_WindowDownload1MiB)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

// The help page's picture: a sample in the window with the plan open.
int TakePicture(const QString& file) {
    CMainFrame* frame = BenchApp()->Frame();
    frame->showNormal();
    frame->resize(1180, 640);
    if (!BenchApp()->Doc()->OpenDocument(QStringLiteral(JVS_SOURCE_DIR "/samples/terv210.txt")))
        return 1;
    auto* dock = frame->findChild<CPlanDock*>();
    if (dock->isHidden()) frame->OnCommand(cmd::kViewPlan);
    frame->resizeDocks({dock}, {620}, Qt::Horizontal);
    dock->SetLabels(true, true, false);
    for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
    dock->Refresh();
    dock->Canvas()->FitAll();
    BenchApp()->View()->setCursorPosition(3, 0);  // P2: the plan marks it
    for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
    return frame->grab().save(file, "PNG") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QString picture;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--picture=", 10) == 0)
            picture = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[i] + 10));
    CWindowBench bench;
    bench.workInSettingsFolder = true;
    if (!picture.isEmpty()) bench.instead = [&picture] { return TakePicture(picture); };
    return RunWindowBenchmarks(argc, argv, bench);
}
