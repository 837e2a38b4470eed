#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "TempCwd_support.h"
#include "app/CommunicationApp.h"
#include "app/WindowTransferScreen.h"
#include "config/LinkSettings.h"
#include "convert/BlockFraming.h"
#include "sim/Pty.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"
#include "ui/MessageSeam.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

namespace {

CCommunicationApp* g_benchApp = nullptr;
// When the window showed that every byte of a download arrived.
std::chrono::steady_clock::time_point g_completed;

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

// As many records as fit `size` once framed (128 payload bytes a block of
// 136), padded with line feeds to exactly `size`, as a download may end.
template <typename Make>
std::string FramedToSize(Make make, size_t size) {
    std::string text;
    FramePayload(Fill(make, (size - 200) / 136 * 128), text);
    text.resize(size, '\n');
    return text;
}

}  // namespace

std::string TervList(size_t size) {
    return Fill(
        [](int i) {
            char line[96];
            std::snprintf(line, sizeof line, "P%d,C%d,%d.%03d,%d.%03d,%d.%02d\r\n", i, i % 50,
                          1000 + i % 90000, i % 1000, 5000 + i % 7000, (i * 7) % 1000, 40 + i % 20,
                          i % 100);
            return std::string(line);
        },
        size);
}

std::string PrismList(size_t size) {
    return Fill(
        [](int i) {
            char line[96];
            std::snprintf(line, sizeof line, "P%d,C%d,%d.%06d,%d.%06d,%d.%06d\r\n", i, i % 50,
                          1000 + i % 9000, i % 1000000, 5000 + i % 4000, (i * 7) % 1000000,
                          40 + i % 20, i % 1000000);
            return std::string(line);
        },
        size);
}

std::string CodeList(size_t size) {
    return Fill(
        [](int i) {
            char line[32];
            std::snprintf(line, sizeof line, "%03d,CODE%06d\r\n", i % 1000, i % 1000000);
            return std::string(line);
        },
        size);
}

std::string Coords210(size_t size) {
    return FramedToSize(
        [](int i) {
            char r[64];
            std::snprintf(r, sizeof r, "_+P%-8d_ x+%09d_ y-%09d_ z+%09d", i % 100000000, i * 3,
                          i * 5, i % 99999);
            return std::string(r);
        },
        size);
}

std::string Measurement(size_t size) {
    return FramedToSize(
        [](int i) {
            char r[80];
            std::snprintf(r, sizeof r, "_+P%d_ U+%d-%d+%d_ H1.600_*TREE_,", i, 5000000 + i,
                          1000000 + i, i % 50000);
            return std::string(r);
        },
        size);
}

std::string RawCodes(size_t size) {
    return FramedToSize(
        [](int i) {
            char r[32];
            std::snprintf(r, sizeof r, "_:%03dCODE%-6d", i % 1000, i % 100000);
            return std::string(r);
        },
        size);
}

std::string Fixed(const char* const* tags, int tagCount, size_t size) {
    return Fill(
        [&](int i) {
            char r[160];
            const std::string tag = tags[i % tagCount];
            char name[16];
            std::snprintf(name, sizeof name, "P%d", i);
            std::snprintf(r, sizeof r, "%s  %-14s", tag.c_str(), name);
            std::string line = r;
            const int count = tag == "02TP" ? 6 : 5;
            for (int f = 0; f < count; ++f) {
                std::snprintf(r, sizeof r, "%-16s", f == count - 1 ? "TREE" : "1234.567");
                line += r;
            }
            return line + "\r\n";
        },
        size);
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

CCommunicationApp* BenchApp() {
    return g_benchApp;
}

int RunWindowBenchmarks(int& argc, char** argv, const CWindowBench& bench) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QTemporaryDir settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.filePath("cfg"));
    if (bench.workInSettingsFolder) QDir::setCurrent(settingsDir.path());
    SetMessageHook([&bench](const QString& text, EButtons) {
        if (text == QString::fromUtf8("数据接收完成!"))
            g_completed = std::chrono::steady_clock::now();
        if (bench.onMessage) bench.onMessage(text);
        return EAnswer::Ok;
    });
    CCommunicationApp app;
    StartOptions options;
    options.showSplash = false;
    options.startupWait = false;
    if (!app.InitInstance(options)) return 1;
    g_benchApp = &app;
    int status = 0;
    if (bench.instead) {
        status = bench.instead();
    } else {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    app.Doc()->SetModified(false);
    g_benchApp = nullptr;
    return status;
}

double DownloadIntoWindow(benchmark::State& state, const CTempComDir& ports,
                          const std::string& data, const std::function<void()>& started,
                          const std::function<void()>& ended) {
    ComSettings.Update([](ComSettingsRecord& r) {
        r = ComSettingsRecord{};
        std::strcpy(r.COMPort, "COM1");
        r.Protol = 1;
        r.ReceiveTimeOut = 5000;
    });
    state.PauseTiming();
    // Every run fills an empty view, not one already showing the same data.
    g_benchApp->View()->SetBytes({});
    QCoreApplication::processEvents();
    state.ResumeTiming();
    CPty pty;
    pty.Create();
    pty.LinkAs(ports.PortPath(1));
    const auto start = std::chrono::steady_clock::now();
    if (!TheTransferManager().Start(TransferKind::DownloadQmx610, g_benchApp->Screen())) {
        state.SkipWithError("not started");
        return 0;
    }
    if (started) started();
    std::thread instrument([&] {
        pty.ReadFor(5000, 1);  // the PC's ENQ
        pty.WriteAll(data, 20000);
    });
    // Sleep between events as the window's own loop does: polling would take
    // a core from the worker and the instrument. The end of the transfer
    // posts an event, so this wakes for it.
    while (IsTransferRunning()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    instrument.join();
    g_benchApp->Screen().Flush();
    QCoreApplication::processEvents();
    if (ended) ended();
    // Reading the whole view back is the benchmark's check, not the user's wait.
    state.PauseTiming();
    if (g_benchApp->View()->GetBytes().size() != data.size())
        state.SkipWithError("view incomplete");
    state.ResumeTiming();
    return std::chrono::duration<double, std::milli>(g_completed - start).count();
}
