// The transfers against the simulated instrument that `jvs sim` also uses.
#include <gtest/gtest.h>

#include <chrono>

#include "convert/Converters.h"
#include "link/SerialPort.h"
#include "sim/SimHarness.h"
#include "sim/SimInstrument.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"
#include "transfer_support.h"

using namespace std::chrono_literals;

namespace {

unsigned RunAgainst(CTransferManager& manager, TransferKind kind, CRecordingScreen& screen) {
    CTransferJob job;
    job.screen = &screen;
    job.portTimeouts = ShortPortTimeouts();
    EXPECT_TRUE(manager.Start(kind, job));
    const unsigned code = manager.Wait();
    EXPECT_FALSE(screen.Locked());
    EXPECT_FALSE(g_SerialPort.IsOpen());
    return code;
}

}  // namespace

TEST(SimTransfer, DownloadsFromBothFamilies) {
    CTempComDir dir;
    const std::string data210 =
        "\x02"
        "A\x03\r\n\x02"
        "B\x03\r\n\x02"
        "C\x03\r\n\x02\x04\x03\r\n";
    for (bool waitForAck : {true, false}) {
        CSimOptions options;
        options.linkPath = dir.PortPath(1);
        options.ackNak = true;
        options.sendData = data210;
        options.afterMs = 0;
        options.waitForAck = waitForAck;
        CSimInstrument sim(options);
        ASSERT_TRUE(sim.Start());
        UseTestComSettings(1, 1000);
        CTransferManager manager;
        CRecordingScreen screen;
        EXPECT_EQ(RunAgainst(manager, TransferKind::DownloadQmx210, screen), 1u);
        EXPECT_EQ(screen.View(), data210);
        // ENQ once, then one ACK per ETX before the EOT (the simulator may
        // still be reading the last of them).
        sim.WaitForBytesIn(4, 1s);
        EXPECT_EQ(sim.WireIn(), "\x05\x06\x06\x06");
    }
    {
        CSimOptions options;
        options.family = SimFamily::Qmx610;
        options.linkPath = dir.PortPath(1);
        options.sendData = "0812 A\r\n0812 B\r\n\x03";
        options.afterMs = 50;
        CSimInstrument sim(options);
        ASSERT_TRUE(sim.Start());
        UseTestComSettings(0, 1000);
        CTransferManager manager;
        CRecordingScreen screen;
        EXPECT_EQ(RunAgainst(manager, TransferKind::DownloadQmx610, screen), 1u);
        EXPECT_EQ(screen.View(), "0812 A\r\n0812 B\r\n\x03");
        EXPECT_EQ(sim.WireIn(), "");
    }
}

TEST(SimTransfer, UploadsAreStoredAndAnswered) {
    CTempComDir dir;
    const std::string terv = "P1,TREE,100.000,200.000,10.000\r\n";
    std::string blocks, message;
    ASSERT_TRUE(BuildCoordBlocks(terv, blocks, &message));
    {
        CSimOptions options;
        options.linkPath = dir.PortPath(1);
        options.ackNak = true;
        CSimInstrument sim(options);
        ASSERT_TRUE(sim.Start());
        UseTestComSettings(1);
        CTransferManager manager;
        CRecordingScreen screen(terv);
        EXPECT_EQ(RunAgainst(manager, TransferKind::UploadQmx210, screen), 2u);
        EXPECT_TRUE(sim.WaitUntilDone(1s));
        EXPECT_EQ(sim.WireIn(), std::string(kQmx210Header) + blocks);
        EXPECT_EQ(screen.View(), blocks);
    }
    {
        CSimOptions options;
        options.linkPath = dir.PortPath(1);
        options.ackNak = true;
        options.reply = [](int index, const std::string&) {
            return index == 0 ? "\x06\r\n" : "\x15\r\n";
        };
        CSimInstrument sim(options);
        ASSERT_TRUE(sim.Start());
        UseTestComSettings(1);
        CTransferManager manager;
        CRecordingScreen screen(terv);
        EXPECT_EQ(RunAgainst(manager, TransferKind::UploadQmx210, screen), 0u);
        EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgReplyError});
        EXPECT_EQ(screen.View(), terv);
        EXPECT_EQ(sim.WireIn(), kQmx210Header);
    }
    {
        CSimOptions options;
        options.family = SimFamily::Qmx610;
        options.linkPath = dir.PortPath(1);
        CSimInstrument sim(options);
        ASSERT_TRUE(sim.Start());
        UseTestComSettings(0);
        CTransferManager manager;
        CRecordingScreen screen(terv);
        EXPECT_EQ(RunAgainst(manager, TransferKind::UploadQmx610, screen), 2u);
        EXPECT_TRUE(sim.WaitUntilDone(1s));
        EXPECT_EQ(sim.Received(), "/Dg 200.000,100.000,10.000,P1,TREE\r\n");
    }
}
