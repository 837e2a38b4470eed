// The transfers over the USB link: 64-byte packets through CUsbDevice, the
// USB settings' time-out and row delay, no Ack/Nak.
#include <algorithm>
#include <cstring>
#include <thread>

#include "config/LinkSettings.h"
#include "convert/Converters.h"
#include "convert/RecordFormats.h"
#include "link/UsbDevice.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr unsigned kPacket = 64;
// A device that has nothing to give may return at once; wait a little before
// asking again rather than spin a core.
constexpr milliseconds kPollPause{2};

class CUsbSource : public CReceiveSource {
public:
    explicit CUsbSource(CTransferRun& run) : m_run(run) {}

    size_t Read(unsigned char* buffer, size_t n, Clock::time_point deadline) override {
        const unsigned got =
            std::min(m_run.Usb().Read(buffer, static_cast<unsigned>(n)), static_cast<unsigned>(n));
        if (got == 0)
            m_run.Token().WaitUntil(
                std::min(deadline + milliseconds(1), Clock::now() + kPollPause));
        return got;
    }

    // The device is read even though the run is stopped: what it holds is kept.
    size_t ReadTail(unsigned char* buffer, size_t n, Clock::time_point deadline) override {
        while (Clock::now() < deadline) {
            const auto wait = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
            const unsigned got = std::min(m_run.Usb().ReadPending(buffer, static_cast<unsigned>(n),
                                                                  static_cast<unsigned>(wait)),
                                          static_cast<unsigned>(n));
            if (got > 0) return got;
            // The wait itself is cancelled: pause without it.
            std::this_thread::sleep_for(kPollPause);
        }
        return 0;
    }

private:
    CTransferRun& m_run;
};

// "USB设备未连接!", and on a second line why the device could not be opened
// (no model chosen, no such device, no permission...), in the device
// layer's words, the same `jvs` has always given.
std::string NotConnected(CTransferRun& run) {
    const std::string why = run.Usb().LastError();
    return why.empty() ? std::string(kMsgUsbNotConnected) : kMsgUsbNotConnected + ("\n" + why);
}

}  // namespace

unsigned UsbDownloadWorker(CTransferRun& run) {
    if (!run.OpenUsb()) return run.Finish(0, NotConnected(run), EEndView::Keep);
    const UsbSettingsRecord cfg = UsbSettingsInForce(UsbSettings.Get());
    const bool confirmed = run.Ask(kMsgPromptUsbDownload);
    g_bTransferDone = true;
    if (!confirmed) return run.Finish(0, {}, EEndView::Keep);
    CUsbSource source(run);
    return Receive(run, source, kETX, milliseconds(cfg.USBRevTimeOut), kPacket, true);
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

// Bytes of the packet at the cursor that are sent: up to and including the
// first CR LF in the next 64 bytes, else all of them. `cut` tells which.
size_t PacketLength(std::string_view data, size_t cursor, bool& cut) {
    const size_t avail = std::min<size_t>(kPacket, data.size() - cursor);
    cut = false;
    for (size_t i = cursor; i + 1 < cursor + avail; ++i) {
        if (data[i] == '\r' && data[i + 1] == '\n') {
            cut = true;
            return i + 2 - cursor;
        }
    }
    return kPacket;
}

unsigned UsbUploadWorker(CTransferRun& run, UsbUpload kind) {
    if (!run.OpenUsb()) return run.Finish(0, NotConnected(run), EEndView::Keep);
    CTransferScreen& screen = run.Screen();
    const UsbSettingsRecord cfg = UsbSettingsInForce(UsbSettings.Get());
    g_bTransferDone = false;
    run.KeepStartText(screen.GetViewText());
    if (kind != UsbUpload::FeatureCodes) run.LockView();

    UploadBuffer buffer;
    if (!buffer.Allocate()) return run.Finish(0, kMsgUploadAllocFailed, EEndView::Keep);
    std::string refusal;
    std::string stream = BuildUsbStream(kind, run.StartText(), refusal);
    if (!refusal.empty()) return run.Finish(0, refusal, EEndView::Keep);
    if (!buffer.Assign(std::move(stream)))
        return run.Finish(0, kMsgUploadAllocFailed, EEndView::Keep);

    // 取消 closes the device and changes nothing.
    if (!run.Ask(kind == UsbUpload::FeatureCodes ? kMsgPromptUpload : kMsgPromptUsbUpload))
        return run.Finish(0, {}, EEndView::Keep);
    if (kind == UsbUpload::FeatureCodes) run.LockView();
    g_strTransferText.Clear();

    const std::string_view data = buffer.Bytes();
    // Records are the packets, the last (end marker) one included.
    long long packets = 0;
    for (size_t cursor = 0; cursor < data.size();) {
        bool cut = false;
        cursor += std::min(PacketLength(data, cursor, cut), data.size() - cursor);
        ++packets;
    }
    run.BeginSending(packets, static_cast<unsigned>(cfg.USBRevRowDelay));
    size_t cursor = 0;
    for (;;) {
        // Nothing more goes out after a stop, the end marker neither.
        if (run.Stopped()) return run.FinishStopped(EEndView::Restore);
        unsigned char packet[kPacket] = {};
        const size_t avail = std::min<size_t>(kPacket, data.size() - cursor);
        bool cut = false;
        // One line per packet: cut just after the first CR LF in it.
        const size_t used = PacketLength(data, cursor, cut);
        std::memcpy(packet, data.data() + cursor, std::min(used, avail));
        // A packet not taken means the instrument is gone: the view gets its
        // text back, as after a failed serial upload.
        if (!run.Usb().Write(packet, kPacket)) {
            if (run.Stopped()) return run.FinishStopped(EEndView::Restore);
            return run.Finish(0, kMsgUsbNotConnected, EEndView::Restore, true);
        }
        run.Sent();
        if (cut) run.Delay(static_cast<unsigned>(cfg.USBRevRowDelay));
        cursor += std::min(used, avail);
        if (cursor >= data.size()) break;
        const std::string_view echo(reinterpret_cast<const char*>(packet), std::min(used, avail));
        // The companion shows it.
        g_strTransferText.Append(echo);
    }
    buffer.Release();
    return run.Finish(1, kMsgCommFinished,
                      kind == UsbUpload::Coords ? EEndView::Echo : EEndView::Keep, true);
}

}  // namespace

unsigned UsbUploadQmx610Worker(CTransferRun& run) {
    return UsbUploadWorker(run, UsbUpload::Coords);
}

unsigned UsbUploadTextWorker(CTransferRun& run) {
    return UsbUploadWorker(run, UsbUpload::Text);
}

unsigned UsbUploadFeatureCodesWorker(CTransferRun& run) {
    return UsbUploadWorker(run, UsbUpload::FeatureCodes);
}
