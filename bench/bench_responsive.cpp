// How long each command holds the window, at 1 MiB and 4 MiB of view text
// (offscreen, through the frame's dispatch as a user's click goes):
//   stall:  the longest stretch in which the window's event loop did not run
//           (nothing painted, no input taken) between the command and its
//           result; on a loaded machine this includes waiting for a CPU;
//   done:   until the result is in the view and painted;
//   open / ok (list editors): until the list is painted / from 确定 until the
//          view holds the rows and is painted;
//   shown / closed (print preview): until the preview is up with its first
//          page painted / until it is closed again at once.
// Times are wall-clock milliseconds (manual time); the argument is MiB.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QLineEdit>
#include <QPrinter>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "base/Bounds.h"
#include "base/SafeFile.h"
#include "convert/BlockFraming.h"
#include "edit/EditState.h"
#include "ui/EditListDlg.h"
#include "ui/EditUi.h"
#include "ui/MessageSeam.h"
#include "ui/PrismCorrectDlg.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"
#if __has_include("view/PrintLayout.h")  // not in the code this bench first measured
#include "view/PrintLayout.h"
#define JVS_HAVE_PRINT_LAYOUT 1
#endif

namespace {

using Clock = std::chrono::steady_clock;
int g_messages = 0;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

size_t Bytes(const benchmark::State& state) {
    // "4 MiB" is the open bound itself.
    return state.range(0) == 4 ? kMaxTextBytes : static_cast<size_t>(state.range(0)) << 20;
}

// One single line: a coordinate list whose line ends were lost.
void JoinLines(std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '\r' && text[i + 1] == '\n') text.replace(i, 2, "; ");
}

// CPU time of the calling thread: what the window's own thread worked.
double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Lets the window finish what it does in the background after a text was
// placed (the editor measures a large text in idle slices), so that none of
// it is counted against the next command.
void Settle() {
    for (int slice = 0; slice < 100; ++slice) {
        const double cpu = ThreadCpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
        if (ThreadCpuSeconds() - cpu < 0.002) return;
    }
}

void PlaceText(const std::string& text) {
    BenchApp()->Doc()->OnNewDocument();
    BenchApp()->SetViewText(text);
    BenchApp()->Doc()->SetModified(false);
    Settle();
    BenchApp()->View()->repaint();
}

// Waits (spinning the event loop) until the view no longer holds `before`.
bool WaitForChange(const std::string& before, double limitSeconds = 60) {
    const auto start = Clock::now();
    std::string shown;
    for (;;) {
        BenchApp()->GetViewText(shown);
        if (shown != before) return true;
        if (Seconds(start) > limitSeconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

struct CSample {
    double stall = 0, done = 0;
};

// Runs `command` and measures until `finished` says the result is shown
// ("done"), and the longest time within that the window's event loop did not
// run ("stall": how long the window was frozen at a stretch, scheduling delays
// of a loaded machine included).
template <typename Command, typename Finished>
CSample Measure(benchmark::State& state, Command command, Finished finished) {
    const auto start = Clock::now();
    auto last = start;
    double longest = 0;
    // Every 2 ms while the event loop (or a nested one) runs; not at every
    // turn, which would keep the window's thread busy against the worker.
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, Seconds(last));
        last = Clock::now();
    });
    ticker.start();
    command();
    if (!finished()) state.SkipWithError("no result shown");
    BenchApp()->View()->repaint();
    CSample sample;
    sample.done = Seconds(start);
    sample.stall = std::max(longest, Seconds(last));
    return sample;
}

// Medians of the iterations, as counters in milliseconds.
struct CSamples {
    std::vector<double> stall, done;
    void Add(const CSample& s) {
        stall.push_back(s.stall);
        done.push_back(s.done);
    }
    static double Median(std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2] * 1000;
    }
    void Report(benchmark::State& state) const {
        state.counters["stall_ms"] = Median(stall);
        state.counters["done_ms"] = Median(done);
    }
};

// A conversion through the dispatch.
void Conversion(benchmark::State& state, unsigned id, std::string (*make)(size_t)) {
    const std::string input = make(Bytes(state));
    CSamples samples;
    for (auto _ : state) {
        PlaceText(input);
        const int messagesBefore = g_messages;
        const CSample sample = Measure(
            state, [&] { BenchApp()->Frame()->OnCommand(id); },
            [&] { return WaitForChange(input) && g_messages == messagesBefore; });
        state.SetIterationTime(sample.done);
        samples.Add(sample);
    }
    samples.Report(state);
}

std::string Coords610(size_t size) {
    static const char* const kTags[] = {"08KI", "02TP", "08TP"};
    return Fixed(kTags, 3, size);
}
std::string Angles610(size_t size) {
    static const char* const kTags[] = {"09F1", "09F2"};
    return Fixed(kTags, 2, size);
}

void BM_TervCoords210(benchmark::State& s) {
    Conversion(s, cmd::kTervCoords210, Coords210);
}
void BM_TervCoords610(benchmark::State& s) {
    Conversion(s, cmd::kTervCoords610, Coords610);
}
void BM_ZeltaMap(benchmark::State& s) {
    Conversion(s, cmd::kZeltaMap, Coords610);
}
void BM_TervEdgeAngle610(benchmark::State& s) {
    Conversion(s, cmd::kTervEdgeAngle610, Angles610);
}
void BM_TervMeasurement210(benchmark::State& s) {
    Conversion(s, cmd::kTervMeasurement210, Measurement);
}
void BM_PcodeList(benchmark::State& s) {
    Conversion(s, cmd::kPcodeList, RawCodes);
}
void BM_ShowCoordBlocks210(benchmark::State& s) {
    Conversion(s, cmd::kShowCoordBlocks210, TervList);
}
void BM_DxfExport(benchmark::State& s) {
    Conversion(s, cmd::kDxfExport, TervList);
}

// Undo of a conversion's result: the old text comes back.
void BM_UndoConversion(benchmark::State& state) {
    const std::string input = Coords610(Bytes(state));
    CSamples samples;
    for (auto _ : state) {
        PlaceText(input);
        BenchApp()->Frame()->OnCommand(cmd::kTervCoords610);
        if (!WaitForChange(input)) state.SkipWithError("no conversion");
        Settle();
        std::string converted;
        BenchApp()->GetViewText(converted);
        const CSample sample = Measure(
            state, [&] { BenchApp()->Frame()->OnCommand(cmd::kEditUndo); },
            [&] { return WaitForChange(converted); });
        state.SetIterationTime(sample.done);
        samples.Add(sample);
    }
    samples.Report(state);
}

// Prism correction: the dialog answered at once with a new constant.
void BM_PrismCorrect(benchmark::State& state) {
    const std::string input = PrismList(Bytes(state));
    CSamples samples;
    SetEditDialogRunner([](QDialog& dialog) {
        if (auto* prism = qobject_cast<CPrismCorrectDlg*>(&dialog))
            prism->NewConstEdit()->setText("13");
        dialog.accept();
        return dialog.result();
    });
    for (auto _ : state) {
        PlaceText(input);
        const CSample sample = Measure(
            state, [&] { BenchApp()->Frame()->OnCommand(cmd::kPrismCorrect); },
            [&] { return WaitForChange(input); });
        state.SetIterationTime(sample.done);
        samples.Add(sample);
    }
    SetEditDialogRunner({});
    samples.Report(state);
}

// A list editor: from the command (the format chosen) until the list is shown
// and painted ("open"), then from 确定 (one row deleted, the prompt answered)
// until the view holds the rows and is painted ("ok").
void ListEditor(benchmark::State& state, unsigned id, const std::string& input) {
    std::vector<double> open, ok;
    for (auto _ : state) {
        PlaceText(input);
        g_bNoUpdatePrompt = false;
        Clock::time_point start = Clock::now();
        double openTime = -1;
        Clock::time_point okStart;
        SetEditDialogRunner([&](QDialog& dialog) {
            if (auto* list = qobject_cast<CEditListDlg*>(&dialog)) {
                dialog.show();
                QCoreApplication::processEvents();
                dialog.repaint();
                openTime = Seconds(start);
                list->OnDelete();
                okStart = Clock::now();
                dialog.accept();  // the update prompt comes through here too
                dialog.hide();
                return dialog.result();
            }
            // The format choice: the clock starts when it is answered.
            dialog.accept();
            if (openTime < 0) start = Clock::now();
            return dialog.result();
        });
        BenchApp()->Frame()->OnCommand(id);
        if (openTime < 0 || !WaitForChange(input)) state.SkipWithError("no list or no result");
        BenchApp()->View()->repaint();
        const double okTime = Seconds(okStart);
        SetEditDialogRunner({});
        state.SetIterationTime(openTime + okTime);
        open.push_back(openTime);
        ok.push_back(okTime);
    }
    state.counters["open_ms"] = CSamples::Median(open);
    state.counters["ok_ms"] = CSamples::Median(ok);
}

void BM_CoordListEditor(benchmark::State& s) {
    ListEditor(s, cmd::kEditCoordList, TervList(Bytes(s)));
}
void BM_CodeListEditor(benchmark::State& s) {
    ListEditor(s, cmd::kEditCodeList, CodeList(Bytes(s)));
}

// Print preview: until the preview is up with a page painted and the event
// loop runs; then closed.
void BM_PrintPreview(benchmark::State& state) {
    const std::string input = TervList(Bytes(state));
    std::vector<double> shownTimes, closedTimes;
    PlaceText(input);
    for (auto _ : state) {
        const auto start = Clock::now();
        double shown = -1;
        QObject context;  // pending polls go with it
        std::function<void()> poll = [&] {
            QWidget* preview = QApplication::activeModalWidget();
            if (!preview) {
                QTimer::singleShot(1, &context, poll);
                return;
            }
            preview->repaint();
            shown = Seconds(start);
            preview->close();
        };
        QTimer::singleShot(0, &context, poll);
        BenchApp()->Frame()->OnCommand(cmd::kFilePrintPreview);
        const double closed = Seconds(start);
        if (shown < 0) state.SkipWithError("no preview");
        state.SetIterationTime(shown);
        shownTimes.push_back(shown);
        closedTimes.push_back(closed);
    }
    state.counters["shown_ms"] = CSamples::Median(shownTimes);
    state.counters["closed_ms"] = CSamples::Median(closedTimes);
}

#ifdef JVS_HAVE_PRINT_LAYOUT
// The preview's counting of every page, which it does in slices while it
// shows: lines, and the same text as one single line.
void CountPages(benchmark::State& state, bool oneLine) {
    std::string text = TervList(Bytes(state));
    if (oneLine) JoinLines(text);
    QPrinter printer(QPrinter::HighResolution);
    int pages = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        CPrintLayout layout(text, BenchApp()->View()->font(), printer);
        layout.LayOutUpTo(INT_MAX);
        pages = layout.PageCount();
        state.SetIterationTime(Seconds(start));
    }
    state.counters["pages"] = pages;
}
void BM_PrintCountPages(benchmark::State& s) {
    CountPages(s, false);
}
void BM_PrintCountPagesOneLine(benchmark::State& s) {
    CountPages(s, true);
}
#endif

// Opening a file until painted: a coordinate list, and the same list as one
// single line (its line ends lost).
void Open(benchmark::State& state, bool oneLine) {
    std::string text = TervList(Bytes(state));
    if (oneLine) JoinLines(text);
    QTemporaryDir dir;
    const QString path = dir.filePath("list.txt");
    ReplaceFile(path.toStdString(), text);
    CSamples samples;
    for (auto _ : state) {
        PlaceText({});
        CSample sample = Measure(
            state, [&] { BenchApp()->Doc()->OpenDocument(path); },
            [&] { return BenchApp()->View()->ByteCount() == static_cast<qsizetype>(text.size()); });
        // Once more: what the editor left for later shows in the next paint.
        const auto again = Clock::now();
        QCoreApplication::processEvents();
        BenchApp()->View()->repaint();
        sample.done += Seconds(again);
        sample.stall = std::max(sample.stall, Seconds(again));
        state.SetIterationTime(sample.done);
        samples.Add(sample);
    }
    samples.Report(state);
}
void BM_OpenFile(benchmark::State& s) {
    Open(s, false);
}
void BM_OpenSingleLine(benchmark::State& s) {
    Open(s, true);
}

}  // namespace

#define JVS_BENCH(fn) \
    BENCHMARK(fn)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3)

JVS_BENCH(BM_PrintPreview);
#ifdef JVS_HAVE_PRINT_LAYOUT
JVS_BENCH(BM_PrintCountPages);
JVS_BENCH(BM_PrintCountPagesOneLine);
#endif
JVS_BENCH(BM_CoordListEditor);
JVS_BENCH(BM_CodeListEditor);
JVS_BENCH(BM_PrismCorrect);
JVS_BENCH(BM_TervCoords210);
JVS_BENCH(BM_TervCoords610);
JVS_BENCH(BM_ZeltaMap);
JVS_BENCH(BM_TervEdgeAngle610);
JVS_BENCH(BM_TervMeasurement210);
JVS_BENCH(BM_PcodeList);
// Blocks of a list at the bound would pass 4 MiB (refused): 2 MiB is shown.
BENCHMARK(BM_ShowCoordBlocks210)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);
JVS_BENCH(BM_DxfExport);
JVS_BENCH(BM_UndoConversion);
JVS_BENCH(BM_OpenFile);
JVS_BENCH(BM_OpenSingleLine);

int main(int argc, char** argv) {
    CWindowBench bench;
    bench.onMessage = [](const QString& text) {
        std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
        ++g_messages;
    };
    return RunWindowBenchmarks(argc, argv, bench);
}
