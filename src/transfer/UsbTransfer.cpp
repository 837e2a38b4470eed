// The transfers over the USB link: 64-byte packets through CUsbDevice, the
// USB settings' time-out and row delay, no Ack/Nak.
#include <algorithm>
#include <cstring>
#include <thread>

#include "config/LinkSettings.h"
#include "convert/Converters.h"
#include "convert/RecordFormats.h"
#include "link/UsbDevice.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr unsigned kPacket = 64;
constexpr milliseconds kRefreshInterval{100};
// A device that has nothing to give may return at once; wait a little before
// asking again rather than spin a core.
constexpr milliseconds kPollPause{2};

// What the view holds when a transfer ends.
enum class EndView {
    Keep,      // as it is
    Received,  // what a download received, when anything came (never lost)
    Restore,   // the text it held before the upload
    Echo,      // the records the coordinate upload sent
};

// One USB transfer from its Open to its end. Every ending goes through Finish,
// so the device is closed, the view unlocked and the flag raised on every path,
// always in the same order.
class CUsbRun {
public:
    explicit CUsbRun(const CTransferJob& job)
        : m_screen(*job.screen), m_usb(job.usb ? *job.usb : g_UsbDevice) {}

    CTransferScreen& Screen() { return m_screen; }
    CUsbDevice& Usb() { return m_usb; }

    // False (and the transfer has ended with "USB设备未连接!") when no device of
    // the selected model can be opened.
    bool Open() {
        m_open = m_usb.Open() != 0;
        return m_open;
    }
    void Lock() {
        LockView(m_screen);
        m_locked = true;
    }
    void KeepStartText(std::string text) { m_startText = std::move(text); }
    const std::string& StartText() const { return m_startText; }

    // Closes the device, sets the view, shows the message, unlocks the view,
    // waits the uploads' closing second when asked, raises the flag.
    unsigned Finish(unsigned code, const char* message, EndView view, bool pause = false) {
        if (m_open) m_usb.Close();
        m_open = false;
        switch (view) {
            case EndView::Keep:
                break;
            case EndView::Received:
                if (g_strTransferText.Size() > 0) {
                    SetViewToTransferText(m_screen, true);
                    m_screen.MarkModified();
                }
                break;
            case EndView::Restore:
                g_strTransferText.Set(m_startText);
                SetViewTextHoldingTextMutex(m_screen, m_startText);
                break;
            case EndView::Echo:
                SetViewToTransferText(m_screen, false);
                break;
        }
        if (message) m_screen.ShowMessage(message);
        if (m_locked) UnlockView(m_screen);
        m_locked = false;
        if (pause) DelayMs(1000);
        g_bTransferDone = true;
        return code;
    }

private:
    CTransferScreen& m_screen;
    CUsbDevice& m_usb;
    bool m_open = false;
    bool m_locked = false;
    std::string m_startText;
};

}  // namespace

namespace {

// The download was stopped: what the device holds, and what it sends until it
// has been quiet for a moment, is kept with the rest before it is closed.
void TakeUsbTail(CUsbDevice& usb) {
    const auto stopAt = Clock::now() + kStopTailMax;
    auto quietUntil = std::min(stopAt, Clock::now() + kStopQuiet);
    unsigned char buffer[kPacket + 1];
    while (Clock::now() < quietUntil) {
        std::memset(buffer, 0, sizeof buffer);
        const auto wait = std::chrono::ceil<milliseconds>(quietUntil - Clock::now()).count();
        const unsigned got =
            std::min(usb.ReadPending(buffer, kPacket, static_cast<unsigned>(wait)), kPacket);
        if (got == 0) {
            // The wait itself is cancelled: pause without it.
            std::this_thread::sleep_for(kPollPause);
            continue;
        }
        const std::string_view chunk(reinterpret_cast<const char*>(buffer), got);
        const std::string_view kept = WithinDownloadLimit(chunk, g_strTransferText.Size());
        g_strTransferText.Append(kept);
        if (kept.size() < chunk.size() || kept.find(kETX) != std::string_view::npos) return;
        quietUntil = std::min(stopAt, Clock::now() + kStopQuiet);
    }
}

}  // namespace

unsigned UsbDownloadWorker(const CTransferJob& job) {
    CUsbRun run(job);
    if (!run.Open()) return run.Finish(0, kMsgUsbNotConnected, EndView::Keep);
    CTransferScreen& screen = run.Screen();
    const UsbSettingsRecord cfg = UsbSettingsInForce(UsbSettings.Get());
    screen.AskOperator(kMsgPromptUsbDownload);
    g_bTransferDone = true;
    if (g_bTransferCancel) return run.Finish(0, nullptr, EndView::Keep);
    run.Lock();
    g_strTransferText.Clear();
    ShowTransferText(screen);
    const milliseconds timeout{cfg.USBRevTimeOut};
    auto deadline = Clock::now() + timeout;
    auto lastShown = Clock::now() - kRefreshInterval;
    size_t received = 0;
    unsigned char buffer[kPacket + 1];
    for (;;) {
        if (g_bTransferCancel) {
            TakeUsbTail(run.Usb());
            return run.Finish(0, nullptr, EndView::Received);
        }
        std::memset(buffer, 0, sizeof buffer);
        const unsigned got = std::min(run.Usb().Read(buffer, kPacket), kPacket);
        if (got == 0) {
            // Whatever arrived is shown and kept.
            if (Clock::now() > deadline) return run.Finish(0, kMsgCommTimeout, EndView::Received);
            WaitUntil(std::min(deadline + milliseconds(1), Clock::now() + kPollPause));
            continue;
        }
        deadline = Clock::now() + timeout;
        // Appended before it is examined, every byte kept up to the bound;
        // the chunk that holds ETX stays whole.
        const std::string_view chunk = WithinDownloadLimit(
            std::string_view(reinterpret_cast<const char*>(buffer), got), received);
        g_strTransferText.Append(chunk);
        received += chunk.size();
        screen.ShowProgress(static_cast<long long>(received), true);
        bool lineEnd = false, finished = false;
        for (char b : chunk) {
            if (b == '\n') lineEnd = true;
            if (b == kETX) {
                finished = true;
                break;
            }
        }
        if (finished) return run.Finish(1, kMsgReceiveComplete, EndView::Received);
        // A device that never sends ETX is stopped at the bound.
        if (chunk.size() < got) return run.Finish(0, kMsgDownloadTooLarge, EndView::Received);
        if (lineEnd && Clock::now() - lastShown >= kRefreshInterval) {
            ShowTransferText(screen);
            lastShown = Clock::now();
        }
    }
}

namespace {

enum class UsbUpload { Coords, Text, FeatureCodes };

// The stream an upload sends, end marker included; empty with `message` set
// when the view text cannot be sent.
std::string BuildUsbStream(UsbUpload kind, const std::string& text, std::string& message) {
    std::string stream;
    if (kind == UsbUpload::Coords) {
        // Read like every coordinate upload: the whole list or nothing.
        std::vector<CTervLine> lines;
        if (!ReadTerv210Upload(text, lines, &message)) return {};
        stream = BuildDgLines(lines);
    } else if (kind == UsbUpload::FeatureCodes) {
        stream = BuildDhLines(text);
    } else {
        stream = text;
    }
    stream.append(kEndMarker);
    return stream;
}

unsigned UsbUploadWorker(const CTransferJob& job, UsbUpload kind) {
    CUsbRun run(job);
    if (!run.Open()) return run.Finish(0, kMsgUsbNotConnected, EndView::Keep);
    CTransferScreen& screen = run.Screen();
    const UsbSettingsRecord cfg = UsbSettingsInForce(UsbSettings.Get());
    g_bTransferDone = false;
    run.KeepStartText(screen.GetViewText());
    if (kind != UsbUpload::FeatureCodes) run.Lock();

    UploadBuffer buffer;
    if (!buffer.Allocate()) return run.Finish(0, kMsgUploadAllocFailed, EndView::Keep);
    std::string refusal;
    std::string stream = BuildUsbStream(kind, run.StartText(), refusal);
    if (!refusal.empty()) return run.Finish(0, refusal.c_str(), EndView::Keep);
    if (!buffer.Assign(std::move(stream)))
        return run.Finish(0, kMsgUploadAllocFailed, EndView::Keep);

    screen.AskOperator(kind == UsbUpload::FeatureCodes ? kMsgPromptUpload : kMsgPromptUsbUpload);
    if (kind == UsbUpload::FeatureCodes) run.Lock();
    g_strTransferText.Clear();
    if (g_bTransferCancel) return run.Finish(0, nullptr, EndView::Restore);

    const std::string_view data = buffer.Bytes();
    size_t cursor = 0;
    long long packets = 0;
    for (;;) {
        if (g_bTransferCancel) return run.Finish(0, nullptr, EndView::Restore);
        unsigned char packet[kPacket] = {};
        const size_t avail = std::min<size_t>(kPacket, data.size() - cursor);
        std::memcpy(packet, data.data() + cursor, avail);
        // One line per packet: cut just after the first CR LF in it.
        size_t used = kPacket;
        bool cut = false;
        for (size_t i = 0; i + 1 < avail; ++i) {
            if (packet[i] == '\r' && packet[i + 1] == '\n') {
                used = i + 2;
                cut = true;
                break;
            }
        }
        std::memset(packet + used, 0, kPacket - used);
        // A packet not taken means the instrument is gone: the view gets its
        // text back, as after a failed serial upload.
        if (!run.Usb().Write(packet, kPacket)) {
            if (g_bTransferCancel) return run.Finish(0, nullptr, EndView::Restore);
            return run.Finish(0, kMsgUsbNotConnected, EndView::Restore, true);
        }
        screen.ShowProgress(++packets, false);
        if (cut) DelayMs(static_cast<unsigned>(cfg.USBRevRowDelay));
        cursor += std::min(used, avail);
        if (cursor >= data.size()) break;
        g_strTransferText.Append(
            std::string_view(reinterpret_cast<const char*>(packet), std::min(used, avail)));
    }
    buffer.Release();
    return run.Finish(1, kMsgCommFinished,
                      kind == UsbUpload::Coords ? EndView::Echo : EndView::Keep, true);
}

}  // namespace

unsigned UsbUploadQmx610Worker(const CTransferJob& job) {
    return UsbUploadWorker(job, UsbUpload::Coords);
}

unsigned UsbUploadTextWorker(const CTransferJob& job) {
    return UsbUploadWorker(job, UsbUpload::Text);
}

unsigned UsbUploadFeatureCodesWorker(const CTransferJob& job) {
    return UsbUploadWorker(job, UsbUpload::FeatureCodes);
}
