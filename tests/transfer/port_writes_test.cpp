// Port writes: an instrument that hangs up or stops reading in the middle of
// an upload ends it with the time-out message, the view's old text and a
// failure code, never with "通讯结束!".
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "TempCwd_support.h"
#include "link/SerialPort.h"
#include "sim/SimInstrument.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"
#include "transfer_support.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

std::string CoordText(int records) {
    std::string text;
    char line[64];
    for (int i = 0; i < records; ++i) {
        std::snprintf(line, sizeof line, "P%d,,%d.125,2.500,3.750\r\n", i, i);
        text += line;
    }
    return text;
}

struct CCase {
    TransferKind kind;
    SimFamily family;
    std::string text;
};

struct PortWrites : ::testing::Test {
    CTempComDir dir;
    CTransferManager manager;
    void TearDown() override { manager.StopAndJoin(); }

    // Runs the upload against the simulator; checks that it failed cleanly.
    void ExpectTimeOutWithTextBack(const CCase& c, CSimOptions options, SerialTimeouts timeouts,
                                   std::chrono::milliseconds within) {
        options.family = c.family;
        options.linkPath = dir.PortPath(1);
        CSimInstrument sim(options);
        ASSERT_TRUE(sim.Start());
        CRecordingScreen screen(c.text);
        CTransferJob job;
        job.screen = &screen;
        job.portTimeouts = timeouts;
        const auto start = Clock::now();
        ASSERT_TRUE(manager.Start(c.kind, job));
        EXPECT_EQ(manager.Wait(), 0u);
        EXPECT_LT(Clock::now() - start, within);
        EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgCommTimeout});
        EXPECT_EQ(screen.View(), c.text) << "the view gets its text back";
        EXPECT_EQ(g_strTransferText.Get(), c.text);
        EXPECT_FALSE(screen.Locked());
        EXPECT_TRUE(g_bTransferDone);
        EXPECT_FALSE(g_SerialPort.IsOpen());
        EXPECT_EQ(sim.TransfersDone(), 0) << "the instrument never saw the end";
        EXPECT_TRUE(sim.HasHungUp() || options.stopReadingAfter >= 0) << sim.WireIn().size();
    }
};

}  // namespace

TEST_F(PortWrites, InstrumentHangingUpMidUploadIsATimeOut) {
    // One upload for each way of sending: segments, and lines of either kind
    // (codes and feature codes share them).
    const std::vector<CCase> cases = {
        {TransferKind::UploadQmx210, SimFamily::Qmx210, CoordText(24)},
        {TransferKind::UploadQmx610, SimFamily::Qmx610, CoordText(10)},
        {TransferKind::UploadAlignment, SimFamily::Qmx610,
         "L1\r\nL2\r\nL3\r\nL4\r\nL5\r\nL6\r\nL7\r\nL8\r\nL9\r\nLast"},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        UseTestComSettings(0);
        // Ten records or more, far enough apart for the simulator to hang up
        // long before the end even on a busy machine.
        ComSettings.Update([](ComSettingsRecord& r) { r.RowDelay = 30; });
        CSimOptions options;
        options.hangUpAfter = c.kind == TransferKind::UploadQmx210 ? 60 : 10;
        ExpectTimeOutWithTextBack(c, options, ShortPortTimeouts(), 3s);
    }
}

TEST_F(PortWrites, InstrumentThatStopsReadingEndsWithinTheWriteTimeOuts) {
    // More than the pseudo-terminal buffers, so the writes block.
    const std::vector<CCase> cases = {
        {TransferKind::UploadAlignment, SimFamily::Qmx610,
         [] {
             std::string text;
             for (int i = 0; text.size() < 200000; ++i)
                 text += "alignment line " + std::to_string(i) + ",1.000,2.000\r\n";
             return text;
         }()},
        {TransferKind::UploadQmx210, SimFamily::Qmx210, CoordText(4000)},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        UseTestComSettings(0);
        ComSettings.Update([](ComSettingsRecord& r) { r.RowDelay = 0; });
        CSimOptions options;
        options.stopReadingAfter = 100;
        SerialTimeouts timeouts = ShortPortTimeouts();
        timeouts.writeTotalMultiplier = 1;
        timeouts.writeTotalConstant = 300;
        ExpectTimeOutWithTextBack(c, options, timeouts, 8s);
    }
}
