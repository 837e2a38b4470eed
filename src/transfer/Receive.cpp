// The receiver both downloads share, serial and USB: every byte kept up to
// the bound, shown as it comes, the time-out counted down before the first.
#include <algorithm>
#include <cstring>

#include "transfer/TransferRun.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

using Clock = std::chrono::steady_clock;

// While nothing has come the wait wakes this often, so the count-down moves.
constexpr std::chrono::milliseconds kCountDownStep{1000};

// The download was stopped (an interrupt, the stop command, leaving the
// program): what the link already holds, and what follows until it is quiet,
// is kept with the rest before the link is closed. Nothing is sent.
void TakeTail(CTransferRun& run, CReceiveSource& source, char endMark, size_t chunkSize) {
    const auto stopAt = Clock::now() + kStopTailMax;
    auto quietUntil = std::min(stopAt, Clock::now() + kStopQuiet);
    unsigned char buffer[513];
    chunkSize = std::min(chunkSize, sizeof buffer - 1);
    for (;;) {
        std::memset(buffer, 0, sizeof buffer);
        const size_t got = source.ReadTail(buffer, chunkSize, quietUntil);
        if (got == 0) return;
        const std::string_view chunk(reinterpret_cast<const char*>(buffer), got);
        const std::string_view kept = WithinDownloadLimit(chunk, g_strTransferText.Size());
        AppendTransferText(run.Screen(), kept, g_strTransferText.Size() == 0);
        run.Received(kept);
        if (kept.size() < chunk.size() || kept.find(endMark) != std::string_view::npos) return;
        quietUntil = std::min(stopAt, Clock::now() + kStopQuiet);
    }
}

}  // namespace

unsigned Receive(CTransferRun& run, CReceiveSource& source, char endMark,
                 std::chrono::milliseconds timeout, size_t chunkSize, bool showEmpty) {
    CTransferScreen& screen = run.Screen();
    run.LockView();
    g_strTransferText.Clear();
    if (showEmpty) screen.ShowText({});
    unsigned char buffer[513];
    chunkSize = std::min(chunkSize, sizeof buffer - 1);
    auto deadline = Clock::now() + timeout;
    size_t received = 0;
    for (;;) {
        if (run.Stopped()) {
            TakeTail(run, source, endMark, chunkSize);
            return run.FinishStopped(EEndView::Received);
        }
        // Whatever arrived is shown and kept, so nothing received is lost.
        if (Clock::now() > deadline) return run.Finish(0, kMsgCommTimeout, EEndView::Received);
        if (received == 0) run.Waiting(deadline);
        const auto until =
            received == 0 ? std::min(deadline, Clock::now() + kCountDownStep) : deadline;
        std::memset(buffer, 0, sizeof buffer);
        const size_t got = source.Read(buffer, chunkSize, until);
        if (got == 0) continue;
        deadline = Clock::now() + timeout;
        // Nothing past the bound is kept or looked at.
        const std::string_view chunk = WithinDownloadLimit(
            std::string_view(reinterpret_cast<const char*>(buffer), got), received);
        const bool overBound = chunk.size() < got;
        // The end mark ends the stream: bytes after it in the chunk are kept
        // but not looked at. Searched, not stepped through, so a fast line
        // costs little.
        const size_t mark = chunk.find(endMark);
        source.Acknowledge(chunk.substr(0, mark));
        // Every byte read is kept, a zero byte included.
        AppendTransferText(screen, chunk, received == 0 && !showEmpty);
        received += chunk.size();
        run.Received(chunk);
        if (mark != std::string_view::npos)
            return run.Finish(1, kMsgReceiveComplete, EEndView::Received);
        // An instrument, or a noisy line, that never sends its end mark is
        // stopped at the bound; what arrived up to it is kept.
        if (overBound) return run.Finish(0, kMsgDownloadTooLarge, EEndView::Received);
    }
}
