// The thread machinery: delays, the companion, one transfer at a time, exit
// during a transfer, the upload buffer limit.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "config/LinkSettings.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"
#include "transfer_support.h"

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {
long long MsSince(Clock::time_point t) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - t).count();
}
}  // namespace

TEST(DelayMs, NeverReturnsEarly) {
    for (unsigned ms : {0u, 1u, 7u, 50u, 120u}) {
        const auto start = Clock::now();
        EXPECT_TRUE(DelayMs(ms));
        const auto took = Clock::now() - start;
        EXPECT_GE(took, milliseconds(ms)) << ms;
        EXPECT_GT(took, Clock::duration::zero()) << ms;
        EXPECT_LT(took, milliseconds(ms + 1000)) << ms;  // only catches a runaway wait
    }
}

TEST(Companion, CopiesNothingInItsFirstSecondAndStopsSoonAfterTheFlag) {
    CTransferManager manager;
    CRecordingScreen screen("old view");
    g_strTransferText.Set("growing text");
    // A worker that needs no port: lowers the flag, runs 2.5 s, raises it.
    std::atomic<bool> stop{false};
    Clock::time_point flagRaised;
    ASSERT_TRUE(manager.StartWorker(
        [&](CTransferRun&) {
            g_bTransferDone = false;
            while (!stop) DelayMs(5);
            flagRaised = Clock::now();
            g_bTransferDone = true;
            return 2u;
        },
        true, screen));
    std::this_thread::sleep_for(milliseconds(850));
    EXPECT_EQ(screen.SetCount(), 0) << "companion copied during its first second";
    std::this_thread::sleep_for(milliseconds(1400));
    const int copies = screen.SetCount();
    EXPECT_GE(copies, 1);
    EXPECT_LE(copies, 3);
    EXPECT_EQ(screen.View(), "growing text");
    stop = true;
    EXPECT_EQ(manager.Wait(), 2u);
    EXPECT_LT(MsSince(flagRaised), 1000);
    EXPECT_EQ(screen.SetCount(), copies) << "companion copied after the flag";
}

TEST(Manager, RefusesASecondTransferWhileOneRuns) {
    CTransferManager manager;
    CRecordingScreen screen;
    std::atomic<bool> stop{false};
    std::atomic<int> runs{0};
    auto worker = [&](CTransferRun&) {
        ++runs;
        while (!stop) DelayMs(2);
        g_bTransferDone = true;
        return 1u;
    };
    ASSERT_TRUE(manager.StartWorker(worker, false, screen));
    EXPECT_TRUE(manager.IsTransferRunning());
    EXPECT_FALSE(manager.StartWorker(worker, true, screen));
    EXPECT_FALSE(manager.Start(TransferKind::DownloadQmx210, screen));
    stop = true;
    EXPECT_EQ(manager.Wait(), 1u);
    EXPECT_TRUE(screen.WaitEnded(1000));
    EXPECT_FALSE(manager.IsTransferRunning());
    EXPECT_EQ(runs, 1);
    // Once it has ended, the next one starts.
    ASSERT_TRUE(manager.StartWorker(worker, false, screen));
    EXPECT_EQ(manager.Wait(), 1u);
    EXPECT_EQ(runs, 2);
}

TEST(Manager, ExitDuringATransferIsClean) {
    // A worker blocked in a long delay and one blocked in its operator prompt
    // both end promptly, with the companion, and report no success.
    for (bool inPrompt : {false, true}) {
        SCOPED_TRACE(inPrompt);
        CTransferManager manager;
        CRecordingScreen screen("text");
        screen.HoldPrompts();
        ASSERT_TRUE(manager.StartWorker(
            [&](CTransferRun& run) {
                g_bTransferDone = false;
                if (inPrompt)
                    run.Ask("wait");
                else
                    run.Delay(60000);
                const bool cancelled = run.Stopped();
                g_bTransferDone = true;
                return cancelled ? 0u : 2u;
            },
            true, screen));
        std::this_thread::sleep_for(milliseconds(100));
        const auto start = Clock::now();
        manager.StopAndJoin();
        EXPECT_LT(MsSince(start), 1000);
        EXPECT_FALSE(manager.IsTransferRunning());
        EXPECT_EQ(manager.Wait(), 0u);
    }
    // Delays work normally again afterwards.
    const auto start = Clock::now();
    DelayMs(30);
    EXPECT_GE(Clock::now() - start, milliseconds(30));
}

TEST(UploadBufferTest, RefusesAStreamThatDoesNotFitWithItsTerminator) {
    UploadBuffer buffer;
    ASSERT_TRUE(buffer.Allocate());
    EXPECT_TRUE(buffer.Assign(std::string(UploadBuffer::kSize - 1, 'x')));
    EXPECT_FALSE(buffer.Assign(std::string(UploadBuffer::kSize, 'x')));
    UseTestComSettings(0);
    CRecordingScreen screen(std::string(UploadBuffer::kSize, 'a'));
    CTransferJob job;
    job.screen = &screen;
    g_bTransferDone = false;
    // Refused before the port opens: there is none here.
    CTransferRun run(job, false);
    EXPECT_EQ(UploadAlignmentWorker(run), 0u);
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgUploadAllocFailed});
    EXPECT_TRUE(screen.Prompts().empty());
    ExpectEnded(screen);
}
