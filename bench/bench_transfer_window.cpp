// A 1 MiB download through a pseudo-terminal at full speed into the window
// (offscreen), against a raw copy of the same bytes through the same kind of pty.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <chrono>
#include <cstring>
#include <thread>

#include "BenchSupport.h"
#include "TempCwd_support.h"
#include "app/CommunicationApp.h"
#include "app/WindowTransferScreen.h"
#include "config/LinkSettings.h"
#include "sim/Pty.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"
#include "ui/MessageSeam.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

namespace {

std::string MakeData(size_t bytes) {
    std::string data;
    for (int i = 0; data.size() < bytes; ++i) {
        data.append("0812");
        data.append(std::to_string(100000 + i));
        data.append(" 1.2345 6.7890\r\n");
    }
    data.resize(bytes - 1);
    data += '\x03';
    return data;
}

// 512 bytes at a time, as the download reads. Polled: wait until readable,
// then read. Blocking: read straight away (as `cat` does), which is what the
// download does while the line is busy.
void RawPtyCopy(benchmark::State& state, bool polled) {
    const std::string data = MakeData(1 << 20);
    for (auto _ : state) {
        CPty pty;
        pty.Create();
        const int slave = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        std::thread writer([&] { pty.WriteAll(data, 10000); });
        size_t got = 0;
        char buf[512];
        while (got < data.size()) {
            if (polled) {
                pollfd p{slave, POLLIN, 0};
                poll(&p, 1, 1000);
            }
            const ssize_t n = read(slave, buf, sizeof buf);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        writer.join();
        close(slave);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
}
void BM_RawPtyCopy1MiB(benchmark::State& state) {
    RawPtyCopy(state, true);
}
BENCHMARK(BM_RawPtyCopy1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();
void BM_RawPtyBlockingCopy1MiB(benchmark::State& state) {
    RawPtyCopy(state, false);
}
BENCHMARK(BM_RawPtyBlockingCopy1MiB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WindowDownload1MiB(benchmark::State& state) {
    const std::string data = MakeData(1 << 20);
    CTempComDir ports;
    double receivedMs = 0;
    for (auto _ : state) receivedMs += DownloadIntoWindow(state, ports, data);
    state.counters["until_complete_message_ms"] =
        receivedMs / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
}
BENCHMARK(BM_WindowDownload1MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    return RunWindowBenchmarks(argc, argv, {});
}
