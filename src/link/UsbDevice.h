// The USB link to the instrument: bulk transfers of 64-byte packets.
// CUsbDevice forwards to a device layer; the layer in use is chosen in one
// place (CreateDefaultUsbLayer) so a working one can replace the null layer
// without touching the transfers.
#pragma once

#include <memory>
#include <mutex>

class CUsbDeviceLayer {
public:
    virtual ~CUsbDeviceLayer() = default;
    // Non-zero when the device of the selected model is open.
    virtual unsigned Open() = 0;
    // Non-zero when the packet was written.
    virtual unsigned Write(const unsigned char* buffer, unsigned length) = 0;
    // Bytes received, 0 when none arrived.
    virtual unsigned Read(unsigned char* buffer, unsigned length) = 0;
    virtual void Close() = 0;
};

// No device layer on this system: nothing opens, nothing is written or read.
class CNullUsbLayer : public CUsbDeviceLayer {
public:
    unsigned Open() override { return 0; }
    unsigned Write(const unsigned char*, unsigned) override { return 0; }
    unsigned Read(unsigned char*, unsigned) override { return 0; }
    void Close() override {}
};

// The layer the program uses.
std::unique_ptr<CUsbDeviceLayer> CreateDefaultUsbLayer();

class CUsbDevice {
public:
    CUsbDevice();
    explicit CUsbDevice(std::unique_ptr<CUsbDeviceLayer> layer);
    CUsbDevice(const CUsbDevice&) = delete;
    CUsbDevice& operator=(const CUsbDevice&) = delete;
    virtual ~CUsbDevice();

    unsigned Open();
    unsigned Write(const unsigned char* buffer, unsigned length);
    unsigned Read(unsigned char* buffer, unsigned length);
    void Close();

    // Replaces the layer (tests); returns the previous one.
    std::unique_ptr<CUsbDeviceLayer> SetLayer(std::unique_ptr<CUsbDeviceLayer> layer);

private:
    CUsbDeviceLayer& Layer();

    std::mutex m_mutex;
    std::unique_ptr<CUsbDeviceLayer> m_layer;
};

extern CUsbDevice g_UsbDevice;
