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
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

// One upload: its settings, its buffer and its single way out.
struct CUpload {
    explicit CUpload(const CTransferJob& job)
        : screen(*job.screen), job(job), cfg(ComSettings.Get()), end(*job.screen) {}
    CTransferScreen& screen;
    const CTransferJob& job;
    const ComSettingsRecord cfg;
    CWorkerEnd end;
    UploadBuffer buffer;
    std::string startText;

    unsigned RowDelay() const { return static_cast<unsigned>(std::max<int32_t>(0, cfg.RowDelay)); }
    // A write the port did not take whole; a cancel ends without a message.
    unsigned WriteFailed() { return g_bTransferCancel ? end.Fail({}) : end.Fail(kMsgCommTimeout); }
};

// Start of every upload: flag lowered, view text taken, buffer allocated.
bool Begin(CUpload& up) {
    g_bTransferDone = false;
    up.startText = up.screen.GetViewText();
    g_strTransferText.Set(up.startText);
    if (!up.buffer.Allocate()) {
        up.end.Finish(0, kMsgUploadAllocFailed);
        return false;
    }
    return true;
}

bool TakeStream(CUpload& up, std::string stream) {
    if (up.buffer.Assign(std::move(stream))) return true;
    up.end.Finish(0, kMsgUploadAllocFailed);
    return false;
}

// Opens the port and waits for the operator; once confirmed, locks the view
// and starts the echo afresh. False: the transfer is over.
bool OpenAndPrompt(CUpload& up) {
    if (!g_SerialPort.Open(up.cfg, up.job.portTimeouts)) {
        up.end.Finish(0, g_SerialPort.OpenFailedText());
        return false;
    }
    up.screen.AskOperator(kMsgPromptUpload);
    if (g_bTransferCancel) {
        up.end.Finish(0);
        return false;
    }
    up.end.RestoreOnFailure(up.startText);
    up.end.LockView();
    std::memset(g_abyRxBuffer, 0, sizeof g_abyRxBuffer);
    g_strTransferText.Clear();
    return true;
}

// QMX210 segments: each ends with ETX CR LF; one longer than 150 bytes goes
// out as a 128-byte piece and the rest as a new segment.
unsigned SendSegments(CUpload& up, bool echoHeader) {
    const std::string_view data = up.buffer.Bytes();
    const bool ackNak = ProtocolOf(up.cfg) == LineProtocol::AckNak;
    size_t cursor = 0;
    long long segments = 0;
    for (;;) {
        if (g_bTransferCancel) return up.end.Fail({});
        const size_t sent = SegmentSendLength(data, cursor);
        if (sent == 0) return up.end.Finish(2, kMsgCommFinished);
        g_pSendCursor = data.data() + cursor;
        // A segment the line did not take is a time-out, not a reply error.
        if (g_SerialPort.Write(g_pSendCursor, sent) != sent) return up.WriteFailed();
        DelayMs(up.RowDelay());
        g_szEchoLine.assign(g_pSendCursor, sent);
        ++segments;
        // The two header records are never echoed.
        if (echoHeader || segments >= 3) {
            g_strTransferText.Append(g_szEchoLine);
            ShowTransferText(up.screen);
        }
        up.screen.ShowProgress(segments, false);
        if (g_szEchoLine.find(kEndRecord) == std::string::npos && ackNak) {
            std::memset(g_abyRxBuffer, 0, 3);
            const size_t got = g_SerialPort.Read(g_abyRxBuffer, 3);
            g_SerialPort.Purge(true, false);
            if (got != 3 || std::memcmp(g_abyRxBuffer, kAckReply.data(), 3) != 0)
                return up.end.Fail(g_bTransferCancel ? std::string_view{} : kMsgReplyError);
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
    long long lines = 0;
    for (;;) {
        if (g_bTransferCancel) return up.end.Fail({});
        const size_t n = lineLength(data, cursor);
        g_pSendCursor = data.data() + cursor;
        if (n > 0 && g_SerialPort.Write(g_pSendCursor, n) != n) return up.WriteFailed();
        DelayMs(up.RowDelay());
        if (n == 0) break;
        g_szEchoLine.assign(g_pSendCursor, n);
        g_strTransferText.Append(g_szEchoLine);
        ShowTransferText(up.screen);
        up.screen.ShowProgress(++lines, false);
        cursor += n;
    }
    if (g_bTransferCancel) return up.end.Fail({});
    if (g_SerialPort.Write(kEndMarker.data(), kEndMarker.size()) != kEndMarker.size())
        return up.WriteFailed();
    return up.end.Finish(2, kMsgCommFinished);
}

unsigned UploadBlocks(const CTransferJob& job, bool pcode) {
    CUpload up(job);
    if (!Begin(up)) return 0;
    std::string stream = pcode ? std::string() : std::string(kQmx210Header);
    std::string message;
    const bool built = pcode ? BuildPcodeBlocks(up.startText, stream, &message)
                             : BuildCoordBlocks(up.startText, stream, &message);
    if (!built) return up.end.Finish(0, message);
    if (!TakeStream(up, std::move(stream)) || !OpenAndPrompt(up)) return 0;
    return SendSegments(up, pcode);
}

}  // namespace

unsigned UploadQmx210Worker(const CTransferJob& job) {
    return UploadBlocks(job, false);
}

unsigned UploadPcodeWorker(const CTransferJob& job) {
    return UploadBlocks(job, true);
}

unsigned UploadQmx610Worker(const CTransferJob& job) {
    CUpload up(job);
    if (!Begin(up)) return 0;
    // The whole list or nothing: a line that is not a record refuses the
    // upload before the port is opened, so the instrument never holds half a
    // list that looks uploaded.
    std::vector<CTervLine> lines;
    std::string message;
    if (!ReadTerv210Upload(up.startText, lines, &message)) return up.end.Finish(0, message);
    if (!TakeStream(up, BuildDgLines(lines)) || !OpenAndPrompt(up)) return 0;
    return SendLines(up, Qmx610LineLength);
}

unsigned UploadFeatureCodesWorker(const CTransferJob& job) {
    CUpload up(job);
    if (!Begin(up)) return 0;
    if (!TakeStream(up, BuildDhLines(up.startText)) || !OpenAndPrompt(up)) return 0;
    return SendLines(up, Qmx610LineLength);
}

unsigned UploadAlignmentWorker(const CTransferJob& job) {
    CUpload up(job);
    if (!Begin(up)) return 0;
    // Sent byte for byte: the stream ends where the text ends, a zero byte in
    // it included. A last line without CR LF gets one, like every other line,
    // rather than being left out.
    if (!TakeStream(up, AlignmentStream(up.startText)) || !OpenAndPrompt(up)) return 0;
    return SendLines(up, CrLfLineLength);
}
