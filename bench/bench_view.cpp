// How long the view takes to show and give back a full-size text (1 MiB):
// the codec alone both ways, and through the edit widget; a transfer's
// refresh as the text grows; opening and saving a 1 MiB file.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <string>

#include "base/SafeFile.h"
#include "convert/ViewCodec.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

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

static void BM_ViewSetBytes(benchmark::State& state) {
    CCommunicationView view;
    view.resize(800, 600);
    view.show();
    for (auto _ : state) {
        view.SetBytes({});  // else the same text again is not placed at all
        view.SetBytes(Sample());
        QCoreApplication::processEvents();
        view.repaint();
    }
}
BENCHMARK(BM_ViewSetBytes)->Unit(benchmark::kMillisecond);

static void BM_ViewGetBytes(benchmark::State& state) {
    CCommunicationView view;
    view.SetBytes(Sample());
    for (auto _ : state) benchmark::DoNotOptimize(view.GetBytes());
}
BENCHMARK(BM_ViewGetBytes)->Unit(benchmark::kMillisecond);

static void BM_DecodeUtf8(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(DecodeViewUtf8(Sample()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Sample().size()));
}
BENCHMARK(BM_DecodeUtf8)->Unit(benchmark::kMillisecond);

static void BM_EncodeUtf8(benchmark::State& state) {
    const std::string shown = DecodeViewUtf8(Sample());
    for (auto _ : state) benchmark::DoNotOptimize(EncodeViewUtf8(shown));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Sample().size()));
}
BENCHMARK(BM_EncodeUtf8)->Unit(benchmark::kMillisecond);

// One refresh of a download's display as it grows: the text shown so far
// (the argument, in bytes) plus what arrived in the last 100 ms at 115200
// baud (~1.2 KB), until painted. Appending should cost the same at every
// size; the reference replaces the whole text as the view used to.
static void Refresh(benchmark::State& state, bool append) {
    const size_t start = static_cast<size_t>(state.range(0));
    std::string text = Sample().substr(0, start);
    CCommunicationView view;
    view.resize(800, 600);
    view.show();
    view.SetBytes(text);
    view.SetLocked(true);  // as during a transfer
    for (int i = 0; i < 3000; ++i) QCoreApplication::processEvents();
    size_t from = start;  // the data goes on where it stopped
    for (auto _ : state) {
        state.PauseTiming();
        text.append(Sample(), from, 1200);
        from += 1200;
        if (!append) text[0] = text[0] == '#' ? 'P' : '#';  // not an extension: replaced whole
        state.ResumeTiming();
        view.ShowBytesAtEnd(text);
        QCoreApplication::processEvents();
        view.repaint();
    }
}
static void BM_RefreshAppend(benchmark::State& state) {
    Refresh(state, true);
}
static void BM_RefreshReplaceWhole(benchmark::State& state) {
    Refresh(state, false);
}
BENCHMARK(BM_RefreshAppend)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Arg((1 << 20) - (64 << 10))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Iterations(50);
BENCHMARK(BM_RefreshReplaceWhole)
    ->Arg(64 << 10)
    ->Arg(256 << 10)
    ->Arg((1 << 20) - (64 << 10))
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Iterations(10);

// Open and save of a 1 MiB file through the document, until painted; the
// references read and replace the same file with no window.
struct CFiles {
    QTemporaryDir dir;
    std::string path = dir.filePath("one-mib").toStdString();
    CFiles() { ReplaceFile(path, Sample()); }
};
static void BM_DocOpen1MiB(benchmark::State& state) {
    CFiles files;
    CCommunicationView view;
    CCommunicationDoc doc(view, nullptr);
    view.resize(800, 600);
    view.show();
    for (auto _ : state) {
        state.PauseTiming();
        doc.OnNewDocument();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        if (!doc.OpenDocument(QString::fromStdString(files.path))) state.SkipWithError("open");
        QCoreApplication::processEvents();
        view.repaint();
    }
}
BENCHMARK(BM_DocOpen1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
static void BM_RawRead1MiB(benchmark::State& state) {
    CFiles files;
    for (auto _ : state) benchmark::DoNotOptimize(ReadFileBounded(files.path, 1 << 21));
}
BENCHMARK(BM_RawRead1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
static void BM_DocSave1MiB(benchmark::State& state) {
    CFiles files;
    CCommunicationView view;
    CCommunicationDoc doc(view, nullptr);
    view.show();
    doc.OpenDocument(QString::fromStdString(files.path));
    // Typed into, so the bytes come from the editor, not from what was placed.
    view.SetCaretPosition(0);
    view.SendScintilla(QsciScintillaBase::SCI_REPLACESEL, "x");
    for (auto _ : state)
        if (!doc.SaveDocument(QString::fromStdString(files.path))) state.SkipWithError("save");
}
BENCHMARK(BM_DocSave1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
static void BM_RawReplace1MiB(benchmark::State& state) {
    CFiles files;
    for (auto _ : state)
        if (ReplaceFile(files.path, Sample()) != 0) state.SkipWithError("replace");
}
BENCHMARK(BM_RawReplace1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// One key typed at the end of a 1 MiB text, until painted: ordinary lines,
// and one line without any break (a hostile file that still opens).
static void TypeAtEnd(benchmark::State& state, const std::string& text) {
    CCommunicationView view;
    view.resize(800, 600);
    view.show();
    view.SetBytes(text);
    for (int i = 0; i < 400; ++i) QCoreApplication::processEvents();
    view.SetCaretPosition(view.CharacterCount());
    for (auto _ : state) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
        QCoreApplication::sendEvent(&view, &press);
        QCoreApplication::processEvents();
        view.repaint();
    }
}
static void BM_TypeAtEndOfLines(benchmark::State& state) {
    TypeAtEnd(state, Sample().substr(0, (1 << 20) - 4096));
}
static void BM_TypeAtEndOfOneLongLine(benchmark::State& state) {
    TypeAtEnd(state, std::string((1 << 20) - 4096, 'A'));
}
BENCHMARK(BM_TypeAtEndOfLines)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_TypeAtEndOfOneLongLine)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
