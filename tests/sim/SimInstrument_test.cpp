#include "sim/SimInstrument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "TempCwd_support.h"
#include "link/SerialPort.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kAckCrLf = "\x06\r\n";
const std::string kSeg =
    "\x02"
    "F00F000\x03\r\n";

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
    void StartSim(const std::function<void(CSimOptions&)>& set = {}) {
        CSimOptions o;
        if (set) set(o);
        o.linkPath = dir.PortPath(1);
        sim = std::make_unique<CSimInstrument>(std::move(o));
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
    }
    void OpenPort() {
        ComSettingsRecord s;
        std::strcpy(s.COMPort, "COM1");
        ASSERT_TRUE(port.Open(s, SerialTimeouts{20, 80, 500, 800, 800}));
    }
    void StartAndOpen(const std::function<void(CSimOptions&)>& set = {}) {
        StartSim(set);
        OpenPort();
    }
    void Send(const std::string& bytes) { port.Write(bytes.data(), bytes.size()); }
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
    StartSim();
    static std::atomic<int> closes;
    closes = 0;
    sim->SetEventHandler(
        [](SimEvent e, const std::string&) { closes += e == SimEvent::PortClosed; });
    for (int session = 0; session < 2; ++session) {
        OpenPort();
        ASSERT_EQ(port.Write("Connect\r\n", 9), 9u);
        EXPECT_EQ(ReadAll(port, 4, 2000), "OK\r\n");
        port.Close();
        // Bytes that reach the line before the simulator has seen the close
        // are still the old session's (the line cannot tell them apart).
        for (int i = 0; i < 500 && closes <= session; ++i)
            std::this_thread::sleep_for(milliseconds(5));
    }
    EXPECT_EQ(sim->Greetings(), 2);
    EXPECT_EQ(sim->Sessions(), 2);
    EXPECT_EQ(sim->WireIn(), "Connect\r\nConnect\r\n");
    EXPECT_EQ(sim->Received(), "") << "a greeting is not upload data";
}

TEST_F(Sim, Qmx210DownloadUnderNoneStartsOnTheOperatorsEnter) {
    StartAndOpen([](CSimOptions& o) { o.sendData = kBlocks210; });
    EXPECT_TRUE(NothingFor(port, 150)) << "nothing is sent before Enter";
    sim->Trigger();
    EXPECT_EQ(ReadAll(port, kBlocks210.size()), kBlocks210);
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_EQ(sim->WireIn(), "");
    EXPECT_EQ(sim->WireOut(), kBlocks210);
}

TEST_F(Sim, Qmx210DownloadUnderAckNakWaitsForEnqAndEachAck) {
    StartAndOpen([](CSimOptions& o) {
        o.ackNak = true;
        o.sendData = kBlocks210;
    });
    sim->Trigger();
    EXPECT_TRUE(NothingFor(port, 150)) << "no data before ENQ";
    Send("\x05");  // ENQ
    // Each block, then nothing until its ACK; the EOT last.
    for (size_t at = 0; at < kBlocks210.size() - 1;) {
        const std::string block = kBlocks210.substr(at, kBlocks210.find('\n', at) + 1 - at);
        EXPECT_EQ(ReadAll(port, block.size()), block);
        EXPECT_TRUE(NothingFor(port, 100)) << "waits for the ACK";
        Send("\x06");  // ACK
        at += block.size();
    }
    EXPECT_EQ(ReadAll(port, 1), "\x04");
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_EQ(sim->WireIn(), "\x05\x06\x06\x06");
}

TEST_F(Sim, Qmx210UploadIsStoredAndEachSegmentAnswered) {
    StartAndOpen([](CSimOptions& o) {
        o.ackNak = true;
        o.reply = [](int index, const std::string&) {
            return index == 2 ? std::string("\x15\r\n") : kAckCrLf;
        };
    });
    Send(kSeg);
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    // A segment in two writes is answered once, after its ETX CR LF.
    Send("\x02part");
    EXPECT_TRUE(NothingFor(port, 100));
    Send(" two\x03\r\n");
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    Send("\x02x\x03\r\n");
    EXPECT_EQ(ReadAll(port, 3), "\x15\r\n");
    const std::string end = "\x02\x04\x03\r\n";
    Send(end);
    EXPECT_TRUE(NothingFor(port, 150)) << "the end record is not answered";
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_EQ(sim->Received(), kSeg + "\x02part two\x03\r\n\x02x\x03\r\n" + end);
}

TEST_F(Sim, Qmx210UploadUnderNoneIsNotAnswered) {
    StartAndOpen();
    const std::string data = kSeg + "\x02\x04\x03\r\n";
    Send(data);
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_TRUE(NothingFor(port, 100));
    EXPECT_EQ(sim->Received(), data);
}

TEST_F(Sim, Qmx610UploadKeepsTheLinesBeforeTheEndMarker) {
    StartAndOpen([](CSimOptions& o) { o.family = SimFamily::Qmx610; });
    const std::string lines = "/Dg 200.000,100.000,10.000,A1,TREE\r\n/Dh P1\r\n";
    Send(lines);
    EXPECT_FALSE(sim->WaitUntilDone(milliseconds(100)));
    Send("\x04\r\n");
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_EQ(sim->Received(), lines);
    EXPECT_TRUE(NothingFor(port, 50));
}

TEST_F(Sim, KeepsAtMostTheBoundOfAnUploadAndOfItsRecords) {
    // 100 bytes of lines fit the bound of 100; one more byte is cut. A line
    // without end longer than the bound does not hide the end marker.
    const std::string lines = std::string(48, 'a') + "\r\n" + std::string(48, 'b') + "\r\n";
    const struct {
        SimFamily family;
        std::string upload, end;
        bool cut;
    } cases[] = {
        {SimFamily::Qmx610, lines, "\x04\r\n", false},
        {SimFamily::Qmx610, lines + "c" + std::string(300, 'L') + "\r\n", "\x04\r\n", true},
        {SimFamily::Qmx210, lines + std::string(300, 'L'), "\x02\x04\x03\r\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.upload.size());
        StartAndOpen([&](CSimOptions& o) {
            o.family = c.family;
            o.keepLimit = 100;
        });
        Send(c.upload + c.end);
        EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
        EXPECT_EQ(sim->Received(), lines);
        EXPECT_EQ(sim->ReceivedCut(), c.cut);
        EXPECT_EQ(sim->WireIn(), (c.upload + c.end).substr(0, 100));
        port.Close();
        sim.reset();
    }
    // A download that never ends, its record bounded too.
    StartAndOpen([](CSimOptions& o) {
        o.family = SimFamily::Qmx610;
        o.sendData = "ab\r\n";
        o.afterMs = 0;
        o.repeat = true;
        o.keepLimit = 40;
    });
    std::string expected;
    while (expected.size() < 4000) expected += "ab\r\n";
    const std::string got = ReadAll(port, expected.size(), 1000);
    EXPECT_TRUE(got.size() >= expected.size() && got.compare(0, expected.size(), expected) == 0);
    EXPECT_FALSE(sim->WaitUntilDone(milliseconds(0)));
    EXPECT_EQ(sim->WireOut(), expected.substr(0, 40));
}

TEST_F(Sim, HangsUpOrGoesSilentAfterNBytes) {
    StartAndOpen([](CSimOptions& o) {
        o.sendData = std::string(300, 'x') + "\x04";
        o.hangUpAfter = 100;
    });
    sim->Trigger();
    EXPECT_EQ(ReadAll(port, 301), std::string(100, 'x'));
    EXPECT_TRUE(sim->WaitUntilDone(milliseconds(1000)));
    EXPECT_TRUE(sim->HasHungUp());
    port.Close();
    sim.reset();

    StartAndOpen([](CSimOptions& o) {
        o.sendData = std::string(300, 'y');
        o.silentAfter = 50;
    });
    sim->Trigger();
    EXPECT_EQ(ReadAll(port, 300), std::string(50, 'y'));
    EXPECT_FALSE(sim->HasHungUp());
    EXPECT_EQ(sim->TransfersDone(), 0);
}

TEST_F(Sim, Qmx210PiecesOfAnOverlongSegmentAreEachAnswered) {
    StartAndOpen([](CSimOptions& o) { o.ackNak = true; });
    const std::string longSegment = "\x02" + std::string(196, 'a') + "\x03\r\n";
    port.Write(longSegment.data(), 128);
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    port.Write(longSegment.data() + 128, longSegment.size() - 128);
    EXPECT_EQ(ReadAll(port, 3), kAckCrLf);
    // A whole segment longer than 128 bytes in one write gets one answer.
    Send(longSegment);
    EXPECT_EQ(ReadAll(port, 6), kAckCrLf);
    EXPECT_EQ(sim->Received(), longSegment + longSegment);
}

// A pseudo-terminal's link (tests, benchmarks, the simulator) goes only where
// nothing is or where a dead simulator's link is; nothing else is touched.
TEST(SimLink, TakesOnlyAFreePlaceOrADeadSimulatorsLink) {
    namespace fs = std::filesystem;
    CTempComDir dir;
    const std::string file = dir.PortPath(1), folder = dir.PortPath(2), foreign = dir.PortPath(3),
                      dangling = dir.PortPath(4), live = dir.PortPath(5), dead = dir.PortPath(6);
    std::ofstream(file) << "my notes";
    fs::create_directory(folder);
    fs::create_symlink(file, foreign);
    fs::create_symlink(dir.PortPath(9), dangling);
    CPty owner;
    ASSERT_TRUE(owner.Create() && owner.LinkAs(live));
    fs::create_symlink("/dev/pts/999999", dead);

    CPty pty;
    ASSERT_TRUE(pty.Create());
    for (const std::string& path : {file, folder, foreign, dangling, live}) {
        std::string why;
        EXPECT_FALSE(pty.LinkAs(path, &why)) << path;
        EXPECT_NE(why.find("not replaced"), std::string::npos) << why;
    }
    std::ifstream in(file);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "my notes");
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(fs::read_symlink(foreign), file);
    EXPECT_EQ(fs::read_symlink(dangling), dir.PortPath(9));
    EXPECT_EQ(fs::read_symlink(live), owner.SlavePath());

    ASSERT_TRUE(pty.LinkAs(dead));
    EXPECT_EQ(fs::read_symlink(dead), pty.SlavePath());
    pty.RemoveLink();
    EXPECT_FALSE(fs::exists(fs::symlink_status(dead)));
}
