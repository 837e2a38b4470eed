// The transfers over the USB link: 64-byte packets through CUsbDevice, the
// USB settings' time-out and row delay, no Ack/Nak.
#include <algorithm>
#include <cstring>

#include "config/LinkSettings.h"
#include "convert/Converters.h"
#include "link/UsbDevice.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr unsigned kPacket = 64;
constexpr milliseconds kRefreshInterval{100};
// A device that has nothing to give returns at once; wait a little before
// asking again rather than spin a core.
constexpr milliseconds kPollPause{2};

CUsbDevice& Device(const CTransferJob& job) {
    return job.usb ? *job.usb : g_UsbDevice;
}

}  // namespace

unsigned UsbDownloadWorker(const CTransferJob& job) {
    CTransferScreen& screen = *job.screen;
    CUsbDevice& usb = Device(job);
    if (!usb.Open()) {
        g_bTransferDone = true;
        return 0;
    }
    const UsbSettingsRecord cfg = UsbSettings.Get();
    screen.AskOperator(kMsgPromptUsbDownload);
    g_bTransferDone = true;
    if (g_bTransferCancel) {
        usb.Close();
        return 0;
    }
    LockView(screen);
    g_strTransferText.Clear();
    ShowTransferText(screen);
    const milliseconds timeout{std::max<int32_t>(0, cfg.USBRevTimeOut)};
    auto deadline = Clock::now() + timeout;
    auto lastShown = Clock::now() - kRefreshInterval;
    long long received = 0;
    unsigned char buffer[kPacket + 1];
    for (;;) {
        if (g_bTransferCancel) {
            usb.Close();
            UnlockView(screen);
            return 0;
        }
        std::memset(buffer, 0, sizeof buffer);
        const unsigned got = std::min(usb.Read(buffer, kPacket), kPacket);
        if (got == 0) {
            if (Clock::now() > deadline) {
                if (g_strTransferText.Size() > 0) {
                    SetViewToTransferText(screen, true);
                    screen.MarkModified();
                }
                screen.ShowMessage(kMsgCommTimeout);
                usb.Close();
                UnlockView(screen);
                return 0;
            }
            WaitUntil(std::min(deadline + milliseconds(1), Clock::now() + kPollPause));
            continue;
        }
        deadline = Clock::now() + timeout;
        // Appended before it is examined, every byte kept; the chunk that
        // holds ETX stays whole.
        const std::string_view chunk(reinterpret_cast<const char*>(buffer), got);
        g_strTransferText.Append(chunk);
        received += got;
        screen.ShowProgress(received, true);
        bool lineEnd = false, finished = false;
        for (char b : chunk) {
            if (b == '\n') lineEnd = true;
            if (b == kETX) {
                finished = true;
                break;
            }
        }
        if (finished) break;
        if (lineEnd && Clock::now() - lastShown >= kRefreshInterval) {
            ShowTransferText(screen);
            lastShown = Clock::now();
        }
    }
    SetViewToTransferText(screen, true);
    screen.MarkModified();
    screen.ShowMessage(kMsgReceiveComplete);
    usb.Close();
    UnlockView(screen);
    return 1;
}

namespace {

enum class UsbUpload { Coords, Text, FeatureCodes };

unsigned UsbUploadWorker(const CTransferJob& job, UsbUpload kind) {
    CTransferScreen& screen = *job.screen;
    CUsbDevice& usb = Device(job);
    if (!usb.Open()) {
        g_bTransferDone = true;
        return 0;
    }
    const UsbSettingsRecord cfg = UsbSettings.Get();
    g_bTransferDone = false;
    const std::string startText = screen.GetViewText();
    if (kind != UsbUpload::FeatureCodes) LockView(screen);
    auto abandon = [&](const char* message) {
        if (message) screen.ShowMessage(message);
        usb.Close();
        UnlockView(screen);
        g_bTransferDone = true;
        return 0u;
    };

    UploadBuffer buffer;
    if (!buffer.Allocate()) return abandon(kMsgUploadAllocFailed);
    std::string stream;
    if (kind == UsbUpload::Coords) {
        const size_t records = static_cast<size_t>(CountTerv210Records(startText));
        if (records == 0 && !startText.empty()) return abandon(kMsgUploadNotTerv210);
        stream = BuildDgLines(startText, records);
    } else if (kind == UsbUpload::FeatureCodes) {
        stream = BuildDhLines(startText);
    } else {
        stream = startText;
    }
    stream.append(kEndMarker);
    if (!buffer.Assign(std::move(stream))) return abandon(kMsgUploadAllocFailed);

    screen.AskOperator(kind == UsbUpload::FeatureCodes ? kMsgPromptUpload : kMsgPromptUsbUpload);
    if (kind == UsbUpload::FeatureCodes) LockView(screen);
    g_strTransferText.Clear();
    if (g_bTransferCancel) return abandon(nullptr);

    const std::string_view data = buffer.Bytes();
    size_t cursor = 0;
    long long packets = 0;
    for (;;) {
        if (g_bTransferCancel) return abandon(nullptr);
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
        if (!usb.Write(packet, kPacket)) {
            screen.ShowMessage(kMsgUsbNotConnected);
            buffer.Release();
            // The view gets its text back, as after a failed serial upload.
            g_strTransferText.Set(startText);
            SetViewTextHoldingTextMutex(screen, startText);
            usb.Close();
            UnlockView(screen);
            DelayMs(1000);
            g_bTransferDone = true;
            return 0;
        }
        screen.ShowProgress(++packets, false);
        if (cut) DelayMs(static_cast<unsigned>(std::max<int32_t>(0, cfg.USBRevRowDelay)));
        cursor += std::min(used, avail);
        if (cursor >= data.size()) {
            screen.ShowMessage(kMsgCommFinished);
            usb.Close();
            break;
        }
        g_strTransferText.Append(
            std::string_view(reinterpret_cast<const char*>(packet), std::min(used, avail)));
    }
    buffer.Release();
    UnlockView(screen);
    if (kind == UsbUpload::Coords) SetViewToTransferText(screen, false);
    DelayMs(1000);
    g_bTransferDone = true;
    return 1;
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
