#include "sim/SimInstrument.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "link/SerialPort.h"
#include "sim/SimHarness.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kEnq = "\x05", kAck = "\x06";
const std::string kAckCrLf = "\x06\r\n";

ComSettingsRecord Port(int n) {
    ComSettingsRecord s;
    std::snprintf(s.COMPort, sizeof s.COMPort, "COM%d", n);
    return s;
}

// Reads from the port until `want` bytes came or nothing arrives for quietMs.
std::string ReadAll(CSerialPort& port, size_t want, int quietMs = 300) {
    std::string out;
    while (out.size() < want) {
        if (!port.WaitForInput(Clock::now() + milliseconds(quietMs))) break;
        char buf[512];
        size_t n = port.Read(buf, std::min(sizeof buf, port.QueuedBytes()));
        out.append(buf, n);
    }
    return out;
}

bool NothingFor(CSerialPort& port, int ms) {
    return !port.WaitForInput(Clock::now() + milliseconds(ms));
}

struct Sim : ::testing::Test {
    CTempComDir dir;
    std::unique_ptr<CSimInstrument> sim;
    CSerialPort port;
    void StartSim(CSimOptions o, int n = 1) {
        o.linkPath = dir.PortPath(n);
        sim = std::make_unique<CSimInstrument>(std::move(o));
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
    }
    void OpenPort(int n = 1) {
        ASSERT_TRUE(port.Open(Port(n), SerialTimeouts{20, 80, 500, 800, 800}));
    }
};

const std::string kBlocks210 =
    "\x02"
    "block one\x03\r\n"
    "\x02"
    "block two\x03\r\n"
    "\x02"
    "last\x03\r\n\x04";

}  // namespace

TEST_F(Sim, AnswersTheGreetingInEverySession) {
    StartSim({});
    OpenPort();
    ASSERT_EQ(port.Write("Connect\r\n", 9), 9u);
    std::this_thread::sleep_for(milliseconds(50));
    char buf[8] = {};
    EXPECT_EQ(port.Read(buf, 5), 4u);
    EXPECT_EQ(std::string(buf, 4), "OK\r\n");
    port.Close();
    OpenPort();
    port.Write("Connect\r\n", 9);
    EXPECT_EQ(ReadAll(port, 4), "OK\r\n");
    port.Close();
    EXPECT_EQ(sim->Greetings(), 2);
    EXPECT_EQ(sim->Sessions(), 2);
    EXPECT_EQ(sim->WireIn(), "Connect\r\nConnect\r\n");
    EXPECT_EQ(sim->TransfersDone(), 0);
    EXPECT_EQ(sim->Received(), "") << "a greeting is not upload data";
}

TEST_F(Sim, Qmx210DownloadUnderNoneStartsOnTheOperatorsEnter) {
    CSimOptions o;
    o.sendData = kBlocks210;
    StartSim(o);
    OpenPort();
    EXPECT_TRUE(NothingFor(port, 150)) << "nothing is sent before Enter";
    sim->Trigger();
    EXPECT_EQ(ReadAll(port, kBlocks210.size()), kBlocks210);
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_EQ(sim->WireIn(), "");
    EXPECT_EQ(sim->WireOut(), kBlocks210);
    // A trigger without the PC on the line is ignored.
    port.Close();
    sim->Trigger();
    std::this_thread::sleep_for(milliseconds(50));
    OpenPort();
    EXPECT_TRUE(NothingFor(port, 150));
}

TEST_F(Sim, DownloadAfterADelayFromTheOpen) {
    CSimOptions o;
    o.family = SimFamily::Qmx610;
    o.sendData = "A1,,1.000,2.000,3.000\r\n\x03";
    o.afterMs = 120;
    StartSim(o);
    auto opened = Clock::now();
    OpenPort();
    EXPECT_EQ(ReadAll(port, o.sendData->size(), 1000), *o.sendData);
    EXPECT_GE(Clock::now() - opened, milliseconds(120));
    // Every new opening is a new session: the data comes again.
    port.Close();
    OpenPort();
    EXPECT_EQ(ReadAll(port, o.sendData->size(), 1000), *o.sendData);
    // The simulator counts the session once its last write returned.
    const auto until = Clock::now() + milliseconds(2000);
    while (sim->TransfersDone() < 2 && Clock::now() < until)
        std::this_thread::sleep_for(milliseconds(2));
    EXPECT_EQ(sim->TransfersDone(), 2);
}

TEST_F(Sim, Qmx210DownloadUnderAckNakWaitsForEnqAndEachAck) {
    CSimOptions o;
    o.ackNak = true;
    o.sendData = kBlocks210;
    StartSim(o);
    OpenPort();
    sim->Trigger();
    EXPECT_TRUE(NothingFor(port, 150)) << "no data before ENQ";
    port.Write(kEnq.data(), 1);
    EXPECT_EQ(ReadAll(port, 14),
              "\x02"
              "block one\x03\r\n");
    EXPECT_TRUE(NothingFor(port, 150)) << "waits for the ACK";
    port.Write(kAck.data(), 1);
    EXPECT_EQ(ReadAll(port, 14),
              "\x02"
              "block two\x03\r\n");
    EXPECT_TRUE(NothingFor(port, 100));
    port.Write(kAck.data(), 1);
    EXPECT_EQ(ReadAll(port, 8),
              "\x02"
              "last\x03\r\n");
    EXPECT_TRUE(NothingFor(port, 100));
    port.Write(kAck.data(), 1);
    EXPECT_EQ(ReadAll(port, 1), "\x04");
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_EQ(sim->WireIn(), "\x05\x06\x06\x06");
}

TEST_F(Sim, Qmx210BurstWithoutWaitingForAcks) {
    CSimOptions o;
    o.ackNak = true;
    o.waitForAck = false;
    o.sendData = kBlocks210;
    StartSim(o);
    OpenPort();
    port.Write(kEnq.data(), 1);  // ENQ before the operator's Enter is kept
    sim->Trigger();
    EXPECT_EQ(ReadAll(port, kBlocks210.size()), kBlocks210);
}

TEST_F(Sim, Qmx610DownloadWaitsForEnqOnlyUnderAckNak) {
    CSimOptions o;
    o.family = SimFamily::Qmx610;
    o.ackNak = true;
    o.sendData = "P1,,1,2,3\r\nP2,,4,5,6\r\n\x03";
    StartSim(o);
    OpenPort();
    sim->Trigger();
    EXPECT_TRUE(NothingFor(port, 150));
    port.Write(kEnq.data(), 1);
    EXPECT_EQ(ReadAll(port, o.sendData->size()), *o.sendData);
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
}

TEST_F(Sim, Qmx210UploadIsStoredAndEachSegmentAnswered) {
    CSimOptions o;
    o.ackNak = true;
    o.reply = [](int index, const std::string&) {
        return index == 2 ? std::string("\x15\r\n") : std::string("\x06\r\n");
    };
    StartSim(o);
    OpenPort();
    const std::string h1 =
        "\x02"
        "F00F000\x03\r\n";
    port.Write(h1.data(), h1.size());
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    // A segment in two writes is answered once, after its ETX CR LF.
    port.Write(
        "\x02"
        "part",
        5);
    EXPECT_TRUE(NothingFor(port, 100));
    port.Write(" two\x03\r\n", 7);
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    port.Write("\x02x\x03\r\n", 5);
    EXPECT_EQ(ReadAll(port, 3), "\x15\r\n");
    const std::string end = "\x02\x04\x03\r\n";
    port.Write(end.data(), end.size());
    EXPECT_TRUE(NothingFor(port, 150)) << "the end record is not answered";
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_EQ(sim->Received(), h1 + "\x02part two\x03\r\n\x02x\x03\r\n" + end);
}

TEST_F(Sim, Qmx210UploadUnderNoneIsNotAnswered) {
    StartSim({});
    OpenPort();
    const std::string data =
        "\x02"
        "F00F000\x03\r\n\x02\x04\x03\r\n";
    port.Write(data.data(), data.size());
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_TRUE(NothingFor(port, 100));
    EXPECT_EQ(sim->Received(), data);
}

TEST_F(Sim, Qmx610UploadKeepsTheLinesBeforeTheEndMarker) {
    CSimOptions o;
    o.family = SimFamily::Qmx610;
    StartSim(o);
    OpenPort();
    const std::string lines = "/Dg 200.000,100.000,10.000,A1,TREE\r\n/Dh P1\r\n";
    port.Write(lines.data(), lines.size());
    EXPECT_FALSE(sim->WaitUntilDone(milliseconds(100)));
    port.Write("\x04\r\n", 3);
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_EQ(sim->Received(), lines);
    EXPECT_TRUE(NothingFor(port, 50));
}

TEST_F(Sim, HangsUpOrGoesSilentAfterNBytes) {
    CSimOptions o;
    o.sendData = std::string(300, 'x') + "\x04";
    o.hangUpAfter = 100;
    StartSim(o);
    OpenPort();
    sim->Trigger();
    EXPECT_EQ(ReadAll(port, 301), std::string(100, 'x'));
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_TRUE(sim->HasHungUp());
    auto t = Clock::now();
    EXPECT_FALSE(port.WaitForInput(t + milliseconds(200)));
    EXPECT_GE(Clock::now() - t, milliseconds(200));
    port.Close();

    CSimOptions q;
    q.sendData = std::string(300, 'y');
    q.silentAfter = 50;
    CSimInstrument quiet([&] {
        q.linkPath = dir.PortPath(3);
        return q;
    }());
    ASSERT_TRUE(quiet.Start());
    OpenPort(3);
    quiet.Trigger();
    EXPECT_EQ(ReadAll(port, 300), std::string(50, 'y'));
    EXPECT_FALSE(quiet.HasHungUp());
    EXPECT_EQ(quiet.TransfersDone(), 0);
}

TEST_F(Sim, UploadSilenceCountsReceivedBytes) {
    CSimOptions o;
    o.ackNak = true;
    o.silentAfter = 12;  // answers the first segment (11 bytes), not the second
    StartSim(o);
    OpenPort();
    const std::string seg =
        "\x02"
        "F00F000\x03\r\n";
    port.Write(seg.data(), seg.size());
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    port.Write(seg.data(), seg.size());
    EXPECT_TRUE(NothingFor(port, 150));
}

TEST_F(Sim, PacedDownloadKeepsItsChunks) {
    CSimOptions o;
    o.sendData = std::string(40, 'z');
    o.chunkSize = 10;
    o.chunkGapMs = 40;
    StartSim(o);
    OpenPort();
    auto t = Clock::now();
    sim->Trigger();
    EXPECT_EQ(ReadAll(port, 40, 500), *o.sendData);
    EXPECT_GE(Clock::now() - t, milliseconds(120));
}

TEST_F(Sim, Qmx210PiecesOfAnOverlongSegmentAreEachAnswered) {
    CSimOptions o;
    o.ackNak = true;
    StartSim(o);
    OpenPort();
    const std::string longSegment = "\x02" + std::string(196, 'a') + "\x03\r\n";
    port.Write(longSegment.data(), 128);
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    port.Write(longSegment.data() + 128, longSegment.size() - 128);
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    // A whole segment longer than 128 bytes in one write gets one answer.
    port.Write(longSegment.data(), longSegment.size());
    EXPECT_EQ(ReadAll(port, 6), kAckCrLf);
    EXPECT_EQ(sim->Received(), longSegment + longSegment);
}

TEST_F(Sim, LargeDownloadArrivesWhole) {
    std::string data;
    for (int i = 0; data.size() < 300000; ++i) data += "line " + std::to_string(i) + "\r\n";
    data += "\x04";
    CSimOptions o;
    o.sendData = data;
    StartSim(o);
    OpenPort();
    sim->Trigger();
    EXPECT_EQ(ReadAll(port, data.size()), data);
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(2000)));
}

TEST_F(Sim, StopsReadingAfterNBytesAndHangsUpMidUpload) {
    CSimOptions o;
    o.family = SimFamily::Qmx610;
    o.stopReadingAfter = 10;
    StartSim(o);
    ASSERT_TRUE(port.Open(Port(1), SerialTimeouts{20, 80, 500, 0, 300}));
    ASSERT_EQ(port.Write("/Dh A\r\n/Dh B\r\n", 14), 14u);
    EXPECT_TRUE(sim->WaitForBytesIn(10, milliseconds(1000)));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(sim->WireIn(), "/Dh A\r\n/Dh") << "exactly N bytes are taken";
    // The line fills; the write ends at its time-out with bytes left over.
    const std::string big(300000, 'x');
    const auto t = Clock::now();
    EXPECT_LT(port.Write(big.data(), big.size()), big.size());
    EXPECT_LT(Clock::now() - t, milliseconds(3000));
    port.Close();

    CSimOptions h;
    h.family = SimFamily::Qmx610;
    h.hangUpAfter = 5;
    h.linkPath = dir.PortPath(2);
    CSimInstrument hanging(h);
    ASSERT_TRUE(hanging.Start());
    OpenPort(2);
    ASSERT_EQ(port.Write("/Dg 1,2,3,A\r\n", 13), 13u);
    EXPECT_TRUE(hanging.WaitUntilDone(milliseconds(1000)));
    EXPECT_TRUE(hanging.HasHungUp());
    EXPECT_EQ(hanging.TransfersDone(), 0);
    // An upload hangs up at once: the PC's next write fails.
    EXPECT_EQ(port.Write("/Dg 4,5,6,B\r\n", 13), 0u);
}
