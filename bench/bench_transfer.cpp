// A 1 MiB download through a pseudo-terminal at full speed, through the
// QMX610/710 download worker, against a raw copy of the same bytes through the
// same kind of pty; and the cost of an upload record beyond its row delay.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "TempCwd_support.h"
#include "config/LinkSettings.h"
#include "link/SerialPort.h"
#include "sim/Pty.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"

namespace {

class CQuietScreen : public CTransferScreen {
public:
    explicit CQuietScreen(std::string view = {}) : m_view(std::move(view)) {}
    std::string GetViewText() override { return m_view; }
    void SetViewText(const std::string&) override {}
    void ShowText(std::string) override { ++m_shows; }
    void AppendText(std::string_view) override { ++m_shows; }
    void LockView() override {}
    void UnlockView() override {}
    void ShowMessage(const std::string&) override {}
    bool AskOperator(const std::string&, const CCancelToken&) override { return true; }
    void MarkModified() override {}
    std::string m_view;
    int m_shows = 0;
};

std::string MakeData(size_t bytes) {
    std::string data;
    for (int i = 0; data.size() < bytes; ++i)
        data += "0812" + std::to_string(100000 + i) + " 1.2345 6.7890\r\n";
    data.resize(bytes - 1);
    data += '\x03';
    return data;
}

void UseCom1(int protocol, int rowDelay) {
    ComSettings.Update([&](ComSettingsRecord& r) {
        r = ComSettingsRecord{};
        std::strcpy(r.COMPort, "COM1");
        r.Protol = static_cast<int8_t>(protocol);
        r.RowDelay = rowDelay;
        r.ReceiveTimeOut = 5000;
    });
}

void BM_RawPtyCopy1MiB(benchmark::State& state) {
    const std::string data = MakeData(1 << 20);
    for (auto _ : state) {
        CPty pty;
        pty.Create();
        const int slave = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        std::thread writer([&] { pty.WriteAll(data, 10000); });
        std::string got;
        char buf[512];
        while (got.size() < data.size()) {
            pollfd p{slave, POLLIN, 0};
            poll(&p, 1, 1000);
            const ssize_t n = read(slave, buf, sizeof buf);
            if (n <= 0) break;
            got.append(buf, static_cast<size_t>(n));
        }
        writer.join();
        close(slave);
        if (got != data) state.SkipWithError("lost bytes");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_RawPtyCopy1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WorkerDownload1MiB(benchmark::State& state) {
    const std::string data = MakeData(1 << 20);
    CTempComDir dir;
    UseCom1(1, 1);
    for (auto _ : state) {
        CPty pty;
        pty.Create();
        pty.LinkAs(dir.PortPath(1));
        CQuietScreen screen;
        CTransferManager manager;
        manager.Start(TransferKind::DownloadQmx610, screen);
        // Under Ack/Nak the PC's ENQ says it is listening.
        pty.ReadFor(2000, 1);
        pty.WriteAll(data, 10000);
        if (manager.Wait() != 1 || g_strTransferText.Size() != data.size())
            state.SkipWithError("download failed");
        state.counters["view_refreshes"] = screen.m_shows;
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_WorkerDownload1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_JvsDownload1MiB(benchmark::State& state) {
    // The benchmark lives in <build>/bench, jvs in <build>/bin.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return;
    std::string jvs = self;
    jvs = jvs.substr(0, jvs.rfind('/'));
    jvs = jvs.substr(0, jvs.rfind('/')) + "/bin/jvs";
    if (access(jvs.c_str(), X_OK) != 0) {
        state.SkipWithError("jvs not built");
        return;
    }
    const std::string data = MakeData(1 << 20);
    CTempComDir dir;
    for (auto _ : state) {
        CPty pty;
        pty.Create();
        pty.LinkAs(dir.PortPath(1));
        const std::string cmd = jvs + " download qmx610 --yes --protocol acknak --timeout 5 -o " +
                                dir.Path() + "/out </dev/null 2>/dev/null";
        std::thread run([&] { (void)std::system(cmd.c_str()); });
        pty.ReadFor(5000, 1);
        pty.WriteAll(data, 10000);
        run.join();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_JvsDownload1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

// Upload of 200 lines with a 1 ms row delay: time beyond the 201 delays, per line.
void BM_UploadOverheadPerRecord(benchmark::State& state) {
    constexpr int kLines = 200;
    std::string text;
    for (int i = 0; i < kLines; ++i) {
        text.append("L");
        text.append(std::to_string(i));
        text.append(",1.000,2.000,3.000\r\n");
    }
    CTempComDir dir;
    UseCom1(0, 1);
    double overheadMs = 0;
    for (auto _ : state) {
        CPty pty;
        pty.Create();
        pty.LinkAs(dir.PortPath(1));
        std::thread drain([&] { pty.ReadFor(3000, text.size() + 3); });
        CQuietScreen screen(text);
        CTransferManager manager;
        const auto t0 = std::chrono::steady_clock::now();
        manager.Start(TransferKind::UploadAlignment, screen);
        manager.Wait();
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                .count();
        drain.join();
        overheadMs += (ms - (kLines + 1) * 1.0) / kLines;
    }
    state.counters["overhead_ms_per_record"] = overheadMs / static_cast<double>(state.iterations());
}
BENCHMARK(BM_UploadOverheadPerRecord)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
