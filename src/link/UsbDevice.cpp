#include "link/UsbDevice.h"

#include <utility>

#include "link/LibusbLayer.h"

std::unique_ptr<CUsbDeviceLayer> CreateDefaultUsbLayer() {
#if JVS_HAVE_LIBUSB
    return CreateLibusbLayer();
#else
    return std::make_unique<CNullUsbLayer>();
#endif
}

bool HaveUsbSupport() {
    return JVS_HAVE_LIBUSB != 0;
}

CUsbDevice g_UsbDevice;

CUsbDevice::CUsbDevice() : m_layer(CreateDefaultUsbLayer()) {}

CUsbDevice::CUsbDevice(std::unique_ptr<CUsbDeviceLayer> layer) : m_layer(std::move(layer)) {
    if (!m_layer) m_layer = CreateDefaultUsbLayer();
}

CUsbDevice::~CUsbDevice() = default;

CUsbDeviceLayer& CUsbDevice::Layer() {
    return *m_layer;
}

unsigned CUsbDevice::Open(const CCancelToken* cancel) {
    CUsbDeviceLayer& layer = Layer();
    layer.SetCancelToken(cancel);
    const unsigned opened = layer.Open();
    // Only an open device holds the token: Close gives it back.
    if (!opened) layer.SetCancelToken(nullptr);
    return opened;
}

unsigned CUsbDevice::Write(const unsigned char* buffer, unsigned length) {
    return Layer().Write(buffer, length);
}

unsigned CUsbDevice::Read(unsigned char* buffer, unsigned length) {
    return Layer().Read(buffer, length);
}

unsigned CUsbDevice::ReadPending(unsigned char* buffer, unsigned length, unsigned waitMs) {
    return Layer().ReadPending(buffer, length, waitMs);
}

void CUsbDevice::Close() {
    CUsbDeviceLayer& layer = Layer();
    layer.Close();
    layer.SetCancelToken(nullptr);
}

std::vector<UsbInstrumentFound> CUsbDevice::List() {
    return Layer().List();
}

std::string CUsbDevice::LastError() {
    return Layer().LastError();
}
