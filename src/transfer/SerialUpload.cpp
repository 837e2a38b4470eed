// Serial uploads: QMX210 framed segments (coordinates, PCODE) with the optional
// ACK CR LF replies, and the QMX610/710 line uploads ("/Dg ", "/Dh ", the view
// text unchanged) ended by EOT CR LF.
#include <cstring>

#include "config/LinkSettings.h"
#include "convert/Converters.h"
#include "link/SerialPort.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

void ClosePort() {
    if (g_SerialPort.IsOpen()) g_SerialPort.Close();
}

// Ends an upload that never locked the view.
unsigned Abandon(UploadBuffer& buffer) {
    buffer.Release();
    g_bTransferDone = true;
    return 0;
}

// Opens the port and waits for the operator; once confirmed, locks the view
// and starts the echo afresh. False: the transfer is over (port message shown
// or program exiting), flag raised, port closed.
bool OpenAndPrompt(const CTransferJob& job, const ComSettingsRecord& cfg, UploadBuffer& buffer) {
    if (!g_SerialPort.Open(cfg, job.portTimeouts)) {
        job.screen->ShowMessage(kMsgPortOpenFailed);
        Abandon(buffer);
        return false;
    }
    job.screen->AskOperator(kMsgPromptUpload);
    if (g_bTransferCancel) {
        ClosePort();
        Abandon(buffer);
        return false;
    }
    LockView(*job.screen);
    std::memset(g_abyRxBuffer, 0, sizeof g_abyRxBuffer);
    g_strTransferText.Clear();
    return true;
}

unsigned Finish(CTransferScreen& screen, UploadBuffer& buffer, unsigned code) {
    ClosePort();
    UnlockView(screen);
    buffer.Release();
    g_bTransferDone = true;
    return code;
}

// QMX210 segments: each ends with ETX CR LF; one longer than 150 bytes goes
// out as a 128-byte piece and the rest as a new segment.
unsigned SendSegments(const CTransferJob& job, const ComSettingsRecord& cfg, UploadBuffer& buffer,
                      const std::string& startText, bool echoHeader) {
    CTransferScreen& screen = *job.screen;
    const std::string_view data = buffer.Bytes();
    size_t cursor = 0;
    long long segments = 0;
    for (;;) {
        if (g_bTransferCancel) return Finish(screen, buffer, 0);
        const size_t sent = SegmentSendLength(data, cursor);
        if (sent == 0) {
            screen.ShowMessage(kMsgCommFinished);
            return Finish(screen, buffer, 2);
        }
        g_pSendCursor = data.data() + cursor;
        g_SerialPort.Write(g_pSendCursor, sent);
        DelayMs(static_cast<unsigned>(std::max<int32_t>(0, cfg.RowDelay)));
        g_szEchoLine.assign(g_pSendCursor, sent);
        ++segments;
        // The two header records are never echoed.
        if (echoHeader || segments >= 3) {
            g_strTransferText.Append(g_szEchoLine);
            ShowTransferText(screen);
        }
        screen.ShowProgress(segments, false);
        if (g_szEchoLine.find(kEndRecord) == std::string::npos && cfg.Protol == 1) {
            std::memset(g_abyRxBuffer, 0, 3);
            const size_t got = g_SerialPort.Read(g_abyRxBuffer, 3);
            g_SerialPort.Purge(true, false);
            if (got != 3 || std::memcmp(g_abyRxBuffer, kAckReply.data(), 3) != 0) {
                if (g_bTransferCancel) return Finish(screen, buffer, 0);
                // The view gets its text back so the user can try again.
                g_strTransferText.Set(startText);
                SetViewTextHoldingTextMutex(screen, startText);
                screen.ShowMessage(kMsgReplyError);
                return Finish(screen, buffer, 0);
            }
            std::memset(g_abyRxBuffer, 0, 3);
        }
        cursor += sent;
    }
}

// QMX610/710 lines, each followed by the row delay and its echo; then one
// more row delay and the end marker.
unsigned SendLines(const CTransferJob& job, const ComSettingsRecord& cfg, UploadBuffer& buffer,
                   size_t (*lineLength)(std::string_view, size_t)) {
    CTransferScreen& screen = *job.screen;
    const std::string_view data = buffer.Bytes();
    size_t cursor = 0;
    long long lines = 0;
    for (;;) {
        if (g_bTransferCancel) return Finish(screen, buffer, 0);
        const size_t n = lineLength(data, cursor);
        g_pSendCursor = data.data() + cursor;
        if (n > 0) g_SerialPort.Write(g_pSendCursor, n);
        DelayMs(static_cast<unsigned>(std::max<int32_t>(0, cfg.RowDelay)));
        if (n == 0) break;
        g_szEchoLine.assign(g_pSendCursor, n);
        g_strTransferText.Append(g_szEchoLine);
        ShowTransferText(screen);
        screen.ShowProgress(++lines, false);
        cursor += n;
    }
    if (g_bTransferCancel) return Finish(screen, buffer, 0);
    g_SerialPort.Write(kEndMarker.data(), kEndMarker.size());
    screen.ShowMessage(kMsgCommFinished);
    return Finish(screen, buffer, 2);
}

// Start of every upload: flag lowered, view text taken, buffer allocated.
bool Begin(const CTransferJob& job, std::string& startText, UploadBuffer& buffer) {
    g_bTransferDone = false;
    startText = job.screen->GetViewText();
    g_strTransferText.Set(startText);
    if (!buffer.Allocate()) {
        job.screen->ShowMessage(kMsgUploadAllocFailed);
        g_bTransferDone = true;
        return false;
    }
    return true;
}

bool TakeStream(const CTransferJob& job, UploadBuffer& buffer, std::string stream) {
    if (buffer.Assign(std::move(stream))) return true;
    job.screen->ShowMessage(kMsgUploadAllocFailed);
    Abandon(buffer);
    return false;
}

unsigned UploadBlocks(const CTransferJob& job, bool pcode) {
    std::string startText;
    UploadBuffer buffer;
    if (!Begin(job, startText, buffer)) return 0;
    const ComSettingsRecord cfg = ComSettings.Get();
    std::string stream = pcode ? std::string() : std::string(kQmx210Header);
    std::string message;
    const bool built = pcode ? BuildPcodeBlocks(startText, stream, &message)
                             : BuildCoordBlocks(startText, stream, &message);
    if (!built) {
        if (!message.empty()) job.screen->ShowMessage(message);
        return Abandon(buffer);
    }
    if (!TakeStream(job, buffer, std::move(stream))) return 0;
    if (!OpenAndPrompt(job, cfg, buffer)) return 0;
    return SendSegments(job, cfg, buffer, startText, pcode);
}

}  // namespace

unsigned UploadQmx210Worker(const CTransferJob& job) {
    return UploadBlocks(job, false);
}

unsigned UploadPcodeWorker(const CTransferJob& job) {
    return UploadBlocks(job, true);
}

unsigned UploadQmx610Worker(const CTransferJob& job) {
    std::string startText;
    UploadBuffer buffer;
    if (!Begin(job, startText, buffer)) return 0;
    const ComSettingsRecord cfg = ComSettings.Get();
    const size_t records = static_cast<size_t>(CountTerv210Records(startText));
    // A text that is not a coordinate list would otherwise go out as nothing
    // but the end marker, and the instrument's list would look uploaded.
    if (records == 0 && !startText.empty()) {
        job.screen->ShowMessage(kMsgUploadNotTerv210);
        return Abandon(buffer);
    }
    if (!TakeStream(job, buffer, BuildDgLines(startText, records))) return 0;
    if (!OpenAndPrompt(job, cfg, buffer)) return 0;
    return SendLines(job, cfg, buffer, Qmx610LineLength);
}

unsigned UploadFeatureCodesWorker(const CTransferJob& job) {
    std::string startText;
    UploadBuffer buffer;
    if (!Begin(job, startText, buffer)) return 0;
    const ComSettingsRecord cfg = ComSettings.Get();
    if (!TakeStream(job, buffer, BuildDhLines(startText))) return 0;
    if (!OpenAndPrompt(job, cfg, buffer)) return 0;
    return SendLines(job, cfg, buffer, Qmx610LineLength);
}

unsigned UploadAlignmentWorker(const CTransferJob& job) {
    std::string startText;
    UploadBuffer buffer;
    if (!Begin(job, startText, buffer)) return 0;
    const ComSettingsRecord cfg = ComSettings.Get();
    // Sent byte for byte: the stream ends where the text ends, a zero byte in
    // it included.
    if (!TakeStream(job, buffer, startText)) return 0;
    if (!OpenAndPrompt(job, cfg, buffer)) return 0;
    return SendLines(job, cfg, buffer, CrLfLineLength);
}
