// Serial uploads end to end over a pseudo-terminal: the bytes on the wire, the
// replies, the echo in the view, and the failure paths.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "convert/Converters.h"
#include "link/SerialPort.h"
#include "sim/SimInstrument.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"
#include "transfer_support.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kTerv = "P1,TREE,100.000,200.000,10.000\r\nP2,,1.500,2.500,3.500\r\n";
const std::string kGappy = "A1,C,1.0,2.0,3.0\r\n\r\nA3,,4,5,6\r\nA4,,7,8,9";
const std::string kGappyDg = "/Dg 2.0,1.0,3.0,A1,C\r\n/Dg 5,4,6,A3\r\n/Dg 8,7,9,A4\r\n";

class SerialUpload : public CPtyTransferTest {
protected:
    // Runs the upload while collecting everything the PC sends. Given a
    // `reply`, answers the first `answerCount` QMX210 segments but the end
    // record with it (then stays silent), checks that no segment comes before
    // the previous one's reply and counts the segments in `segments`.
    std::string Run(TransferKind kind, CRecordingScreen& screen, unsigned expectCode,
                    const std::string& reply = {}, int answerCount = 0, int* segments = nullptr) {
        Start(kind, screen);
        std::string wire, pending;
        int seen = 0;
        while (m_manager.IsTransferRunning()) {
            const std::string got = m_pty.ReadFor(10);
            wire += got;
            if (!reply.empty()) pending += got;
            size_t end;
            while ((end = pending.find("\x03\r\n")) != std::string::npos) {
                const std::string segment = pending.substr(0, end + 3);
                pending.erase(0, end + 3);
                ++seen;
                if (segment.find("\x02\x04\x03\r\n") != std::string::npos) continue;
                EXPECT_EQ(m_pty.ReadFor(60), "") << "segment " << seen << " sent before the reply";
                if (seen <= answerCount) m_pty.WriteAll(reply);
            }
        }
        EXPECT_EQ(m_manager.Wait(), expectCode);
        wire += m_pty.ReadFor(50);
        if (segments) *segments = seen;
        ExpectEnded(screen);
        return wire;
    }
};

std::string Blocks(std::string_view text, bool pcode) {
    std::string out, message;
    const bool ok =
        pcode ? BuildPcodeBlocks(text, out, &message) : BuildCoordBlocks(text, out, &message);
    EXPECT_TRUE(ok) << message;
    return out;
}

}  // namespace

TEST(SegmentSplitting, LongSegmentsGoInPiecesOf128) {
    const std::string etx = "\x03\r\n";
    EXPECT_EQ(SegmentSendLength(std::string(147, 'a') + etx, 0), 150u);
    EXPECT_EQ(SegmentSendLength(std::string(148, 'a') + etx, 0), 128u);
    const std::string two = std::string(200, 'b') + etx + "cc" + etx;
    EXPECT_EQ(SegmentSendLength(two, 0), 128u);
    EXPECT_EQ(SegmentSendLength(two, 128), 75u);
    EXPECT_EQ(SegmentSendLength(two, 203), 5u);
    EXPECT_EQ(SegmentSendLength(two, 208), 0u);
    EXPECT_EQ(SegmentSendLength("no end\r\n", 0), 0u);
}

TEST(LineBuilding, EdgesTheUploadTestsDoNotReach) {
    EXPECT_EQ(BuildDhLines("A,B,\r\n"), "/Dh A\r\n/Dh B\r\n");
    EXPECT_EQ(BuildDhLines("X,Y"), "/Dh X\r\n/Dh Y\r\n");
}

TEST_F(SerialUpload, BlockUploadsSendEverySegmentAndEchoIt) {
    const std::string codes = "1,TREE\r\n22,POLE\r\n333,FENCE\r\n";
    const std::string header(kQmx210Header);
    const struct {
        TransferKind kind;
        std::string view, header, blocks;
    } cases[] = {{TransferKind::UploadQmx210, kTerv, header, Blocks(kTerv, false)},
                 // A blank line and an unterminated last line: every point goes.
                 {TransferKind::UploadQmx210, kGappy, header,
                  Blocks("A1,C,1.0,2.0,3.0\r\nA3,,4,5,6\r\nA4,,7,8,9\r\n", false)},
                 {TransferKind::UploadPcode, codes, "", Blocks(codes, true)}};
    for (const auto& c : cases) {
        // Under Ack/Nak every segment but the end waits for ACK CR LF.
        for (int protocol : {0, 1}) {
            SCOPED_TRACE(c.view + std::to_string(protocol));
            UseTestComSettings(protocol);
            CRecordingScreen screen(c.view);
            const std::string wire =
                Run(c.kind, screen, 2, protocol ? std::string(kAckReply) : "", 1000);
            EXPECT_EQ(wire, c.header + c.blocks);
            // The header records are never echoed.
            EXPECT_EQ(screen.View(), c.blocks);
            EXPECT_EQ(screen.Prompts(), std::vector<std::string>{kMsgPromptUpload});
            EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgCommFinished});
        }
    }
}

TEST_F(SerialUpload, Qmx210ReplyErrorsGiveTheViewItsTextBack) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"\x15\r\n", 0},             // NAK on the first header
        {"\x06", 0},                 // ACK without CR LF
        {std::string(kAckReply), 2}  // then silence after the headers
    };
    for (const auto& [reply, answered] : cases) {
        SCOPED_TRACE(answered);
        UseTestComSettings(1);
        CRecordingScreen screen(kTerv);
        int segments = 0;
        const auto start = Clock::now();
        const std::string wire = Run(TransferKind::UploadQmx210, screen, 0, reply,
                                     answered == 0 ? 1 : answered, &segments);
        EXPECT_LT(Clock::now() - start, 3s);
        EXPECT_EQ(segments, answered == 0 ? 1 : answered + 1);
        EXPECT_EQ(screen.Messages(), std::vector<std::string>{kMsgReplyError});
        EXPECT_EQ(screen.View(), kTerv);
        EXPECT_EQ(g_strTransferText.Get(), kTerv);
    }
}

TEST_F(SerialUpload, LineUploadsSendAndEchoByteForByte) {
    static const char raw[] = "L1\r\n\r\nL2\nstill\rsame\x00z\r\nlast";
    const std::string text(raw, sizeof raw - 1);
    const std::string dg = "/Dg 200.000,100.000,10.000,P1,TREE\r\n/Dg 2.500,1.500,3.500,P2\r\n";
    const std::string dh = "/Dh A\r\n/Dh \r\n/Dh B\r\n";
    const std::vector<std::string> done{kMsgCommFinished};
    // A note line refuses the whole list before the port opens.
    const std::string noted = "A1,C,1.0,2.0,3.0\r\nnote\r\nA3,,4,5,6\r\n";
    const std::vector<std::string> refused{"不是有效的TERV210格式!\n第2行"};
    // Text that is not a coordinate or code list is refused before the port
    // opens; an empty view sends only the end marker; feature codes come from
    // the first line only; an unterminated last line goes out with CR LF added.
    const struct {
        TransferKind kind;
        int protocol;
        std::string view, echo;
        unsigned code;
        std::vector<std::string> messages;
    } cases[] = {
        {TransferKind::UploadQmx610, 0, kTerv, dg, 2, done},
        {TransferKind::UploadQmx610, 0, kGappy, kGappyDg, 2, done},
        {TransferKind::UploadQmx610, 0, noted, "", 0, refused},
        {TransferKind::UploadQmx210, 0, noted, "", 0, refused},
        {TransferKind::UploadPcode, 0, "not a code list", "", 0, {"不是有效的210 PCODE格式!"}},
        {TransferKind::UploadQmx610, 0, "", "", 2, done},
        {TransferKind::UploadFeatureCodes, 1, "A,,B\r\nC,D\r\n", dh, 2, done},
        {TransferKind::UploadFeatureCodes, 1, "\r\nA,B\r\n", "", 2, done},
        {TransferKind::UploadAlignment, 0, text, text + "\r\n", 2, done},
        {TransferKind::UploadAlignment, 0, text + "\r", text + "\r\r\n", 2, done},
        {TransferKind::UploadAlignment, 0, "a\r\n", "a\r\n", 2, done},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view);
        UseTestComSettings(c.protocol);
        CRecordingScreen screen(c.view);
        EXPECT_EQ(Run(c.kind, screen, c.code), c.code ? c.echo + "\x04\r\n" : "");
        // Nothing sent, nothing echoed: the view keeps its text.
        EXPECT_EQ(screen.View(), c.echo.empty() ? c.view : c.echo);
        EXPECT_EQ(screen.Messages(), c.messages);
        EXPECT_EQ(screen.Prompts().empty(), !c.code);
    }
}

TEST_F(SerialUpload, StopSendsNothingMoreAndNoEndMarker) {
    UseTestComSettings(0, 400, 100);
    const std::string text = "L1\r\nL2\r\nL3\r\nL4\r\nL5\r\n";
    CRecordingScreen screen(text);
    Start(TransferKind::UploadAlignment, screen);
    std::string wire;
    const auto until = Clock::now() + 3s;
    while (wire.size() < 8 && Clock::now() < until) wire += m_pty.ReadFor(10);
    ASSERT_TRUE(m_manager.Stop(EStopReason::Command));
    EXPECT_EQ(m_manager.Wait(), 0u);
    EXPECT_FALSE(m_manager.Stop(EStopReason::Command)) << "nothing left to stop";
    wire += m_pty.ReadFor(300);
    // The instrument holds exactly the records the message names.
    const long long sent = screen.Progress().back().records;
    EXPECT_GE(sent, 2);
    EXPECT_LT(sent, 5);
    EXPECT_EQ(wire, text.substr(0, 4 * static_cast<size_t>(sent)));
    EXPECT_EQ(screen.Messages(), std::vector<std::string>{"已停止发送：已发送 " +
                                                          std::to_string(sent) + " / 5 条记录。"});
    EXPECT_EQ(screen.View(), text);
}

TEST_F(SerialUpload, CancelAtTheHandShakeClosesThePortAndChangesNothing) {
    for (TransferKind kind : {TransferKind::DownloadQmx610, TransferKind::UploadAlignment}) {
        SCOPED_TRACE(static_cast<int>(kind));
        UseTestComSettings(0);
        CRecordingScreen screen("L1\r\n");
        screen.RefusePrompts();
        EXPECT_EQ(Run(kind, screen, 0), "");
        ASSERT_EQ(screen.Calls().size(), 1u);
        EXPECT_EQ(screen.Calls()[0].rfind("prompt:", 0), 0u);
        EXPECT_EQ(screen.View(), "L1\r\n");
    }
}

TEST_F(SerialUpload, RowDelayPacesEveryLine) {
    UseTestComSettings(0, 400, 60);
    CRecordingScreen screen("a\r\nb\r\nc\r\n");
    const auto start = Clock::now();
    EXPECT_EQ(Run(TransferKind::UploadAlignment, screen, 2), "a\r\nb\r\nc\r\n\x04\r\n");
    // Three lines and the delay before the end marker: an instrument that is
    // not given its time drops lines.
    EXPECT_GE(Clock::now() - start, 240ms);
}

// Port writes: an instrument that hangs up or stops reading in the middle of
// an upload ends it with the time-out message, the view's old text and a
// failure code, never with "通讯结束!".
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
        ExpectEnded(screen);
        EXPECT_EQ(sim.TransfersDone(), 0) << "the instrument never saw the end";
        EXPECT_TRUE(sim.HasHungUp() || options.stopReadingAfter >= 0) << sim.WireIn().size();
    }
};

}  // namespace

TEST_F(PortWrites, InstrumentHangingUpMidUploadIsATimeOut) {
    // One upload for each way of sending: segments, and lines (every line
    // upload shares them).
    const std::vector<CCase> cases = {
        {TransferKind::UploadQmx210, SimFamily::Qmx210, CoordText(24)},
        {TransferKind::UploadQmx610, SimFamily::Qmx610, CoordText(10)},
    };
    for (const CCase& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        // Ten records or more, far enough apart for the simulator to hang up
        // long before the end even on a busy machine.
        UseTestComSettings(0, 400, 30);
        CSimOptions options;
        options.hangUpAfter = c.kind == TransferKind::UploadQmx210 ? 60 : 10;
        ExpectTimeOutWithTextBack(c, options, ShortPortTimeouts(), 3s);
    }
}

TEST_F(PortWrites, InstrumentThatStopsReadingEndsWithinTheWriteTimeOuts) {
    // More than the pseudo-terminal buffers, so the writes block.
    UseTestComSettings(0, 400, 0);
    CSimOptions options;
    options.stopReadingAfter = 100;
    SerialTimeouts timeouts = ShortPortTimeouts();
    timeouts.writeTotalMultiplier = 1;
    timeouts.writeTotalConstant = 300;
    ExpectTimeOutWithTextBack({TransferKind::UploadQmx210, SimFamily::Qmx210, CoordText(4000)},
                              options, timeouts, 8s);
}
