// Serial uploads: QMX210 framed segments (coordinates, PCODE) with the optional
// ACK CR LF replies, and the QMX610/710 line uploads ("/Dg ", "/Dh ", the view
// text unchanged) ended by EOT CR LF. Every write is checked: a write the line
// does not take within the port's write time-outs, or one that fails because
// the instrument went away, ends the upload with "通讯超时!" and gives the view
// its text back; "通讯结束!" means every byte was handed to the port.
#include <algorithm>
#include <cstring>

#include "config/LinkSettings.h"
#include "convert/Converters.h"
#include "convert/RecordFormats.h"
#include "link/SerialPort.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

// One upload: its settings, its buffer and its run.
struct CUpload {
    explicit CUpload(CTransferRun& run) : run(run), screen(run.Screen()), cfg(ComSettings.Get()) {}
    CTransferRun& run;
    CTransferScreen& screen;
    const ComSettingsRecord cfg;
    UploadBuffer buffer;

    unsigned RowDelay() const { return static_cast<unsigned>(std::max<int32_t>(0, cfg.RowDelay)); }
    // Ends a failed upload: the view gets its text back.
    unsigned Fail(std::string_view message) {
        return run.Finish(0, message, m_sending ? EEndView::Restore : EEndView::Keep);
    }
    // A write the port did not take whole; a stop says what went instead.
    unsigned WriteFailed() { return run.Stopped() ? Stopped() : Fail(kMsgCommTimeout); }
    // Nothing more goes out, no end marker either: the instrument must not
    // take a partial list for a whole one.
    unsigned Stopped() { return run.FinishStopped(EEndView::Restore); }
    bool m_sending = false;
};

// Start of every upload: flag lowered, view text taken, buffer allocated.
bool Begin(CUpload& up) {
    g_bTransferDone = false;
    up.run.KeepStartText(up.screen.GetViewText());
    g_strTransferText.Set(up.run.StartText());
    if (!up.buffer.Allocate()) {
        up.run.Finish(0, kMsgUploadAllocFailed, EEndView::Keep);
        return false;
    }
    return true;
}

bool TakeStream(CUpload& up, std::string stream) {
    if (up.buffer.Assign(std::move(stream))) return true;
    up.run.Finish(0, kMsgUploadAllocFailed, EEndView::Keep);
    return false;
}

// Opens the port and waits for the operator; once confirmed, locks the view
// and starts the echo afresh. False: the transfer is over (取消 closes the
// port and changes nothing).
bool OpenAndPrompt(CUpload& up) {
    if (!up.run.OpenPort(up.cfg)) {
        up.run.Finish(0, g_SerialPort.OpenFailedText(), EEndView::Keep);
        return false;
    }
    if (!up.run.Ask(kMsgPromptUpload)) {
        up.run.Finish(0, {}, EEndView::Keep);
        return false;
    }
    up.m_sending = true;
    up.run.LockView();
    std::memset(g_abyRxBuffer, 0, sizeof g_abyRxBuffer);
    g_strTransferText.Clear();
    return true;
}

// How many writes the stream takes, counted as the send loop steps.
long long CountUnits(std::string_view data, size_t (*unitLength)(std::string_view, size_t)) {
    long long units = 0;
    for (size_t cursor = 0, n; (n = unitLength(data, cursor)) > 0; cursor += n) ++units;
    return units;
}

// QMX210 segments: each ends with ETX CR LF; one longer than 150 bytes goes
// out as a 128-byte piece and the rest as a new segment.
unsigned SendSegments(CUpload& up, bool echoHeader) {
    const std::string_view data = up.buffer.Bytes();
    const bool ackNak = ProtocolOf(up.cfg) == LineProtocol::AckNak;
    size_t cursor = 0;
    long long segments = 0;
    up.run.BeginSending(CountUnits(data, SegmentSendLength), up.RowDelay());
    for (;;) {
        if (up.run.Stopped()) return up.Stopped();
        const size_t sent = SegmentSendLength(data, cursor);
        if (sent == 0) return up.run.Finish(2, kMsgCommFinished, EEndView::Keep);
        g_pSendCursor = data.data() + cursor;
        // A segment the line did not take is a time-out, not a reply error.
        if (g_SerialPort.Write(g_pSendCursor, sent) != sent) return up.WriteFailed();
        up.run.Delay(up.RowDelay());
        g_szEchoLine.assign(g_pSendCursor, sent);
        ++segments;
        // The two header records are never echoed.
        if (echoHeader || segments >= 3) {
            AppendTransferText(up.screen, g_szEchoLine, g_strTransferText.Size() == 0);
        }
        up.run.Sent();
        if (g_szEchoLine.find(kEndRecord) == std::string::npos && ackNak) {
            std::memset(g_abyRxBuffer, 0, 3);
            const size_t got = g_SerialPort.Read(g_abyRxBuffer, 3);
            g_SerialPort.Purge(true, false);
            if (up.run.Stopped()) return up.Stopped();
            if (got != 3 || std::memcmp(g_abyRxBuffer, kAckReply.data(), 3) != 0)
                return up.Fail(kMsgReplyError);
            std::memset(g_abyRxBuffer, 0, 3);
        }
        cursor += sent;
    }
}

// QMX610/710 lines, each followed by the row delay and its echo; then one
// more row delay and the end marker.
unsigned SendLines(CUpload& up, size_t (*lineLength)(std::string_view, size_t)) {
    const std::string_view data = up.buffer.Bytes();
    size_t cursor = 0;
    up.run.BeginSending(CountUnits(data, lineLength), up.RowDelay());
    for (;;) {
        if (up.run.Stopped()) return up.Stopped();
        const size_t n = lineLength(data, cursor);
        g_pSendCursor = data.data() + cursor;
        if (n > 0 && g_SerialPort.Write(g_pSendCursor, n) != n) return up.WriteFailed();
        up.run.Delay(up.RowDelay());
        if (n == 0) break;
        g_szEchoLine.assign(g_pSendCursor, n);
        AppendTransferText(up.screen, g_szEchoLine, g_strTransferText.Size() == 0);
        up.run.Sent();
        cursor += n;
    }
    if (up.run.Stopped()) return up.Stopped();
    if (g_SerialPort.Write(kEndMarker.data(), kEndMarker.size()) != kEndMarker.size())
        return up.WriteFailed();
    return up.run.Finish(2, kMsgCommFinished, EEndView::Keep);
}

unsigned UploadBlocks(CTransferRun& run, bool pcode) {
    CUpload up(run);
    if (!Begin(up)) return 0;
    std::string stream = pcode ? std::string() : std::string(kQmx210Header);
    std::string message;
    const bool built = pcode ? BuildPcodeBlocks(up.run.StartText(), stream, &message)
                             : BuildCoordBlocks(up.run.StartText(), stream, &message);
    if (!built) return up.run.Finish(0, message, EEndView::Keep);
    if (!TakeStream(up, std::move(stream)) || !OpenAndPrompt(up)) return 0;
    return SendSegments(up, pcode);
}

}  // namespace

unsigned UploadQmx210Worker(CTransferRun& run) {
    return UploadBlocks(run, false);
}

unsigned UploadPcodeWorker(CTransferRun& run) {
    return UploadBlocks(run, true);
}

unsigned UploadQmx610Worker(CTransferRun& run) {
    CUpload up(run);
    if (!Begin(up)) return 0;
    // The whole list or nothing: a line that is not a record refuses the
    // upload before the port is opened, so the instrument never holds half a
    // list that looks uploaded.
    std::vector<CTervLine> lines;
    std::string message;
    if (!ReadTerv210Upload(up.run.StartText(), lines, &message))
        return up.run.Finish(0, message, EEndView::Keep);
    if (!TakeStream(up, BuildDgLines(lines)) || !OpenAndPrompt(up)) return 0;
    return SendLines(up, Qmx610LineLength);
}

unsigned UploadFeatureCodesWorker(CTransferRun& run) {
    CUpload up(run);
    if (!Begin(up)) return 0;
    if (!TakeStream(up, BuildDhLines(up.run.StartText())) || !OpenAndPrompt(up)) return 0;
    return SendLines(up, Qmx610LineLength);
}

unsigned UploadAlignmentWorker(CTransferRun& run) {
    CUpload up(run);
    if (!Begin(up)) return 0;
    // Sent byte for byte: the stream ends where the text ends, a zero byte in
    // it included. A last line without CR LF gets one, like every other line,
    // rather than being left out.
    if (!TakeStream(up, AlignmentStream(up.run.StartText())) || !OpenAndPrompt(up)) return 0;
    return SendLines(up, CrLfLineLength);
}
