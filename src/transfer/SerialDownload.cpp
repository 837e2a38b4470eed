// Serial downloads of both instrument families: listen for the instrument's
// stream, keep every byte, end on EOT (QMX210) or ETX (QMX610/710).
#include <algorithm>
#include <cstring>

#include "config/LinkSettings.h"
#include "link/SerialPort.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Rewriting a growing text at every LF is quadratic; a few refreshes a second
// keep the view current and the port drained.
constexpr milliseconds kRefreshInterval{100};
constexpr milliseconds kSettle{5};
// A line delivering more than this is faster than any serial line (about
// 2 Mbaud): no pause is needed to gather a chunk.
constexpr double kFastLineBytesPerSecond = 200000.0;

enum class Family { Qmx210, Qmx610 };

char EndMark(Family family) {
    return family == Family::Qmx210 ? kEOT : kETX;
}

// The download was stopped (an interrupt, the stop command, leaving the
// program): what the port already holds, and what follows until the line is
// quiet, is kept with the rest before the port is closed. Nothing is sent.
void TakeTail(Family family) {
    const auto stopAt = Clock::now() + kStopTailMax;
    auto quietUntil = std::min(stopAt, Clock::now() + kStopQuiet);
    for (;;) {
        std::memset(g_abyRxBuffer, 0, sizeof g_abyRxBuffer);
        const size_t got =
            g_SerialPort.ReadArriving(g_abyRxBuffer, sizeof g_abyRxBuffer, quietUntil);
        if (got == 0) return;
        const std::string_view chunk(reinterpret_cast<const char*>(g_abyRxBuffer), got);
        const std::string_view kept = WithinDownloadLimit(chunk, g_strTransferText.Size());
        g_strTransferText.Append(kept);
        if (kept.size() < chunk.size() || kept.find(EndMark(family)) != std::string_view::npos)
            return;
        quietUntil = std::min(stopAt, Clock::now() + kStopQuiet);
    }
}

// Listens after the operator confirmed. A stop leaves what arrived in
// g_strTransferText.
unsigned Receive(const CTransferJob& job, const ComSettingsRecord& cfg, Family family,
                 CWorkerEnd& end) {
    CTransferScreen& screen = *job.screen;
    if (g_bTransferCancel) return end.Finish(0);
    end.LockView();
    g_strTransferText.Clear();
    std::memset(g_abyRxBuffer, 0, sizeof g_abyRxBuffer);
    const milliseconds timeout{std::max<int32_t>(0, cfg.ReceiveTimeOut)};
    auto deadline = Clock::now() + timeout;
    bool enqSent = false;
    const bool ackNak = ProtocolOf(cfg) == LineProtocol::AckNak;
    // The queues were cleared when the port opened: what came after the
    // question is the instrument's data.
    const auto stopped = [&] {
        TakeTail(family);
        return end.Finish(0);
    };

    size_t received = 0;
    size_t lastChunkBytes = 0;
    auto lastChunkAt = Clock::now();
    auto lastShown = Clock::now() - kRefreshInterval;
    for (;;) {
        if (g_bTransferCancel) return stopped();
        if (Clock::now() > deadline) {
            // Whatever arrived is shown and kept, so nothing received is lost.
            if (g_strTransferText.Size() > 0) {
                SetViewToTransferText(screen, true);
                screen.MarkModified();
            }
            return end.Finish(0, kMsgCommTimeout);
        }
        if (ackNak && !enqSent) {
            const char enq = kENQ;
            g_SerialPort.Write(&enq, 1);
            enqSent = true;
        }
        // A line faster than any serial line (a pseudo-terminal) is read at
        // once: a pause would throttle it, and while it is busy there is
        // nearly always a chunk queued, so it costs one call per chunk.
        const auto fastLine = [&] {
            return lastChunkBytes > 0 &&
                   lastChunkBytes >=
                       kFastLineBytesPerSecond *
                           std::chrono::duration<double>(Clock::now() - lastChunkAt).count();
        };
        std::memset(g_abyRxBuffer, 0, sizeof g_abyRxBuffer);
        size_t got = fastLine() ? g_SerialPort.ReadQueued(g_abyRxBuffer, sizeof g_abyRxBuffer) : 0;
        if (got == 0) {
            if (!g_SerialPort.WaitForInput(deadline)) continue;
            // Let the bytes of a serial line settle for up to 5 ms so they are
            // read in large chunks rather than byte by byte; stop as soon as
            // a full chunk is queued.
            if (!fastLine()) {
                const auto settleEnd = Clock::now() + kSettle;
                auto step = std::chrono::microseconds(500);
                while (g_SerialPort.QueuedBytes() < sizeof g_abyRxBuffer && !g_bTransferCancel) {
                    const auto now = Clock::now();
                    if (now >= settleEnd) break;
                    WaitUntil(std::min<Clock::time_point>(settleEnd, now + step));
                    step *= 2;
                }
            }
            // What is queued, at most a buffer: asking the queue's count
            // first would cost as much as the read.
            got = g_SerialPort.ReadQueued(g_abyRxBuffer, sizeof g_abyRxBuffer);
            if (got == 0) {
                // Readable but nothing there: the far end hung up. Do not
                // spin; the deadline ends the download.
                WaitUntil(std::min(deadline, Clock::now() + kSettle));
                continue;
            }
        }
        deadline = Clock::now() + timeout;
        lastChunkBytes = got;
        lastChunkAt = Clock::now();
        // Nothing past the bound is kept or looked at.
        const std::string_view chunk = WithinDownloadLimit(
            std::string_view(reinterpret_cast<const char*>(g_abyRxBuffer), got), received);
        const bool overBound = chunk.size() < got;

        // The end mark ends the stream: bytes after it in the chunk are kept
        // but not looked at. Each ETX before a QMX210's EOT is acknowledged.
        // Searched, not stepped through, so a fast line costs little.
        const size_t mark = chunk.find(EndMark(family));
        const bool finished = mark != std::string_view::npos;
        const std::string_view scanned = chunk.substr(0, mark);
        if (family == Family::Qmx210 && ackNak && enqSent) {
            for (size_t at = scanned.find(kETX); at != std::string_view::npos;
                 at = scanned.find(kETX, at + 1)) {
                const char ack = kACK;
                g_SerialPort.Write(&ack, 1);
            }
        }
        const bool lineEnd = scanned.find('\n') != std::string_view::npos;
        // The view shows the text received before this chunk.
        if (lineEnd && !finished && !overBound && Clock::now() - lastShown >= kRefreshInterval) {
            ShowTransferText(screen);
            lastShown = Clock::now();
        }
        // Every byte read is kept, a zero byte included.
        g_strTransferText.Append(chunk);
        received += chunk.size();
        screen.ShowProgress(static_cast<long long>(received), true);
        if (finished || overBound) {
            SetViewToTransferText(screen, true);
            screen.MarkModified();
            // An instrument, or a noisy line, that never sends its end mark
            // is stopped at the bound; what arrived up to it is kept.
            return finished ? end.Finish(1, kMsgReceiveComplete)
                            : end.Finish(0, kMsgDownloadTooLarge);
        }
    }
}

}  // namespace

unsigned DownloadQmx210Worker(const CTransferJob& job) {
    g_bTransferDone = true;
    CWorkerEnd end(*job.screen);
    const ComSettingsRecord cfg = ComSettings.Get();
    if (!g_SerialPort.Open(cfg, job.portTimeouts))
        return end.Finish(0, g_SerialPort.OpenFailedText());
    // Cleared before the question, not after the answer: an operator who
    // starts the instrument first loses nothing.
    g_SerialPort.Purge(true, true);
    job.screen->AskOperator(ProtocolOf(cfg) == LineProtocol::AckNak ? kMsgPromptInstrumentFirst
                                                                    : kMsgPromptPcFirst);
    return Receive(job, cfg, Family::Qmx210, end);
}

unsigned DownloadQmx610Worker(const CTransferJob& job) {
    g_bTransferDone = false;
    CWorkerEnd end(*job.screen);
    const ComSettingsRecord cfg = ComSettings.Get();
    if (!g_SerialPort.Open(cfg, job.portTimeouts))
        return end.Finish(0, g_SerialPort.OpenFailedText());
    // Cleared before the question, not after the answer: an operator who
    // starts the instrument first loses nothing.
    g_SerialPort.Purge(true, true);
    job.screen->AskOperator(kMsgPromptPcFirst);
    return Receive(job, cfg, Family::Qmx610, end);
}
