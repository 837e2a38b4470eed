// The USB link to the instrument: bulk transfers of 64-byte packets.
// CUsbDevice forwards to a device layer; the layer in use is chosen in one
// place (CreateDefaultUsbLayer): libusb where the program was built with it,
// else the null layer.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/CancelToken.h"

struct UsbModelRow;

// An instrument of a known model found on the bus.
struct UsbInstrumentFound {
    const UsbModelRow* Model = nullptr;
    int Bus = 0;
    int Address = 0;
};

class CUsbDeviceLayer {
public:
    virtual ~CUsbDeviceLayer() = default;
    // Non-zero when the device of the selected model is open.
    virtual unsigned Open() = 0;
    // Non-zero when the packet was written.
    virtual unsigned Write(const unsigned char* buffer, unsigned length) = 0;
    // Bytes received, 0 when none arrived.
    virtual unsigned Read(unsigned char* buffer, unsigned length) = 0;
    // Like Read, waiting at most waitMs, and also after Cancel: a stopped
    // download still takes what the device holds.
    virtual unsigned ReadPending(unsigned char* buffer, unsigned length, unsigned /*waitMs*/) {
        return Read(buffer, length);
    }
    virtual void Close() = 0;

    // The instruments of the known models present now (for `jvs probe --usb`).
    virtual std::vector<UsbInstrumentFound> List() { return {}; }
    // Why the last Open failed, in the system's words (English), or empty.
    virtual std::string LastError() const { return {}; }

    // The running transfer's token: once it is cancelled, a Write or Read in
    // progress gives up at once and later ones fail (ReadPending excepted).
    void SetCancelToken(const CCancelToken* token) { m_cancelToken = token; }
    bool Cancelled() const {
        const CCancelToken* token = m_cancelToken.load();
        return token && token->IsCancelled();
    }

private:
    std::atomic<const CCancelToken*> m_cancelToken{nullptr};
};

// No device layer on this system: nothing opens, nothing is written or read.
class CNullUsbLayer : public CUsbDeviceLayer {
public:
    unsigned Open() override { return 0; }
    unsigned Write(const unsigned char*, unsigned) override { return 0; }
    unsigned Read(unsigned char*, unsigned) override { return 0; }
    void Close() override {}
    std::string LastError() const override { return "built without USB support"; }
};

// The layer the program uses.
std::unique_ptr<CUsbDeviceLayer> CreateDefaultUsbLayer();
// True when CreateDefaultUsbLayer gives a working layer (not the null one).
bool HaveUsbSupport();

class CUsbDevice {
public:
    CUsbDevice();
    explicit CUsbDevice(std::unique_ptr<CUsbDeviceLayer> layer);
    CUsbDevice(const CUsbDevice&) = delete;
    CUsbDevice& operator=(const CUsbDevice&) = delete;
    virtual ~CUsbDevice();

    // A transfer hands in its token; Close forgets it.
    unsigned Open(const CCancelToken* cancel = nullptr);
    unsigned Write(const unsigned char* buffer, unsigned length);
    unsigned Read(unsigned char* buffer, unsigned length);
    unsigned ReadPending(unsigned char* buffer, unsigned length, unsigned waitMs);
    void Close();

    std::vector<UsbInstrumentFound> List();
    std::string LastError();

private:
    CUsbDeviceLayer& Layer();

    std::unique_ptr<CUsbDeviceLayer> m_layer;
};

extern CUsbDevice g_UsbDevice;
