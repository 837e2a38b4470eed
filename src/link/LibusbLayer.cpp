#include "link/LibusbLayer.h"

#if JVS_HAVE_LIBUSB

#include <libusb.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>

#include "config/LinkSettings.h"
#include "link/UsbModelIds.h"

namespace {

// A read that finds nothing returns within this, so the download can watch its
// own deadline and an exit is never held up for long.
constexpr unsigned kReadWaitMs = 100;
// Events are handled in slices this long so that a cancel is seen quickly.
constexpr long kEventSliceUs = 50000;

std::string Hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", v & 0xFFFFu);
    return text;
}

class CLibusbLayer : public CUsbDeviceLayer {
public:
    ~CLibusbLayer() override { Close(); }

    unsigned Open() override;
    unsigned Write(const unsigned char* buffer, unsigned length) override;
    unsigned Read(unsigned char* buffer, unsigned length) override;
    unsigned ReadPending(unsigned char* buffer, unsigned length, unsigned waitMs) override;
    void Close() override;
    std::vector<UsbInstrumentFound> List() override;
    std::string LastError() const override {
        std::lock_guard lock(m_errorMutex);
        return m_error;
    }

private:
    // One bulk transfer, waited for in slices so Cancel can end it (unless it
    // is the last read of a stopped download). Returns the libusb transfer
    // status; `done` gets the bytes moved.
    libusb_transfer_status Transfer(unsigned char endpoint, unsigned char* data, int length,
                                    unsigned timeoutMs, int& done, bool cancellable = true);
    bool ClaimModelInterface(const UsbModelIdsRecord& ids);
    void Fail(std::string why) {
        std::lock_guard lock(m_errorMutex);
        m_error = std::move(why);
    }

    libusb_context* m_ctx = nullptr;
    libusb_device_handle* m_handle = nullptr;
    int m_interface = -1;
    bool m_reattach = false;
    unsigned char m_in = 0, m_out = 0;
    unsigned m_writeTimeoutMs = kUsbDefaultTimeoutMs;
    // The device went away: every later call fails at once.
    bool m_gone = false;
    mutable std::mutex m_errorMutex;
    std::string m_error;
};

unsigned CLibusbLayer::Open() {
    Close();
    m_gone = false;
    Fail({});
    const UsbModelIdsRecord ids = UsbModelIds.Get();
    if (ids.VendorId == 0 && ids.ProductId == 0) {
        Fail("no instrument model selected");
        return 0;
    }
    m_writeTimeoutMs = static_cast<unsigned>(UsbSettingsInForce(UsbSettings.Get()).USBRevTimeOut);
    if (libusb_init(&m_ctx) != 0) {
        m_ctx = nullptr;
        Fail("USB cannot be used on this system");
        return 0;
    }
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(m_ctx, &devices);
    std::string why = "no device " + Hex4(ids.VendorId) + ":" + Hex4(ids.ProductId) + " present";
    for (ssize_t i = 0; i < count && !m_handle; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(devices[i], &d) != 0) continue;
        if (d.idVendor != ids.VendorId || d.idProduct != ids.ProductId) continue;
        const int r = libusb_open(devices[i], &m_handle);
        if (r != 0) {
            m_handle = nullptr;
            why = "device " + Hex4(ids.VendorId) + ":" + Hex4(ids.ProductId) + " on bus " +
                  std::to_string(libusb_get_bus_number(devices[i])) + " address " +
                  std::to_string(libusb_get_device_address(devices[i])) +
                  " cannot be opened: " + libusb_strerror(r);
            // The usual cause on a fresh system: the device node is root's.
            if (r == LIBUSB_ERROR_ACCESS)
                why +=
                    " (install the udev rule 60-jvs-transfer.rules in /etc/udev/rules.d, "
                    "then plug the instrument in again)";
        }
    }
    // The list is allocated also when it holds no device.
    if (devices) libusb_free_device_list(devices, 1);
    if (!m_handle) {
        Fail(why);
        Close();
        return 0;
    }
    if (!ClaimModelInterface(ids)) {
        Close();
        return 0;
    }
    return 1;
}

bool CLibusbLayer::ClaimModelInterface(const UsbModelIdsRecord& ids) {
    libusb_device* device = libusb_get_device(m_handle);
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 &&
        libusb_get_config_descriptor(device, 0, &config) != 0) {
        Fail("the device's configuration cannot be read");
        return false;
    }
    // The interface (and alternate setting) that holds both bulk endpoints.
    int number = -1, alternate = 0;
    for (int i = 0; i < config->bNumInterfaces && number < 0; ++i) {
        const libusb_interface& itf = config->interface[i];
        for (int a = 0; a < itf.num_altsetting && number < 0; ++a) {
            const libusb_interface_descriptor& alt = itf.altsetting[a];
            bool in = false, out = false;
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor& ep = alt.endpoint[e];
                if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) continue;
                in = in || ep.bEndpointAddress == ids.InEndpoint;
                out = out || ep.bEndpointAddress == ids.OutEndpoint;
            }
            if (in && out) {
                number = alt.bInterfaceNumber;
                alternate = alt.bAlternateSetting;
            }
        }
    }
    libusb_free_config_descriptor(config);
    if (number < 0) {
        Fail("the device has no bulk endpoints 0x" + Hex4(ids.InEndpoint).substr(2) + "/0x" +
             Hex4(ids.OutEndpoint).substr(2));
        return false;
    }
    // A kernel driver bound to the interface would keep it; give it back at Close.
    if (libusb_kernel_driver_active(m_handle, number) == 1 &&
        libusb_detach_kernel_driver(m_handle, number) == 0)
        m_reattach = true;
    const int r = libusb_claim_interface(m_handle, number);
    if (r != 0) {
        Fail(std::string("the device's interface cannot be claimed: ") + libusb_strerror(r));
        return false;
    }
    m_interface = number;
    if (alternate != 0) libusb_set_interface_alt_setting(m_handle, number, alternate);
    m_in = static_cast<unsigned char>(ids.InEndpoint);
    m_out = static_cast<unsigned char>(ids.OutEndpoint);
    return true;
}

extern "C" void LIBUSB_CALL OnTransferDone(libusb_transfer* transfer) {
    *static_cast<int*>(transfer->user_data) = 1;
}

libusb_transfer_status CLibusbLayer::Transfer(unsigned char endpoint, unsigned char* data,
                                              int length, unsigned timeoutMs, int& done,
                                              bool cancellable) {
    done = 0;
    if (!m_handle || m_gone || (cancellable && Cancelled())) return LIBUSB_TRANSFER_ERROR;
    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (!transfer) return LIBUSB_TRANSFER_ERROR;
    int completed = 0;
    libusb_fill_bulk_transfer(transfer, m_handle, endpoint, data, length, OnTransferDone,
                              &completed, timeoutMs);
    const int submitted = libusb_submit_transfer(transfer);
    if (submitted != 0) {
        libusb_free_transfer(transfer);
        if (submitted == LIBUSB_ERROR_NO_DEVICE) m_gone = true;
        return submitted == LIBUSB_ERROR_NO_DEVICE ? LIBUSB_TRANSFER_NO_DEVICE
                                                   : LIBUSB_TRANSFER_ERROR;
    }
    bool cancelling = false;
    while (!completed) {
        timeval slice{0, kEventSliceUs};
        const int r = libusb_handle_events_timeout_completed(m_ctx, &slice, &completed);
        if (completed) break;
        if ((r < 0 && r != LIBUSB_ERROR_INTERRUPTED) || (cancellable && Cancelled())) {
            if (!cancelling) libusb_cancel_transfer(transfer);
            cancelling = true;
        }
    }
    const libusb_transfer_status status = transfer->status;
    done = transfer->actual_length;
    libusb_free_transfer(transfer);
    if (status == LIBUSB_TRANSFER_NO_DEVICE) m_gone = true;
    return status;
}

unsigned CLibusbLayer::Write(const unsigned char* buffer, unsigned length) {
    // libusb wants a writable buffer even for OUT; the packet is small.
    std::vector<unsigned char> packet(buffer, buffer + length);
    int done = 0;
    const libusb_transfer_status status =
        Transfer(m_out, packet.data(), static_cast<int>(length), m_writeTimeoutMs, done);
    return status == LIBUSB_TRANSFER_COMPLETED && done == static_cast<int>(length) ? 1 : 0;
}

unsigned CLibusbLayer::Read(unsigned char* buffer, unsigned length) {
    int done = 0;
    Transfer(m_in, buffer, static_cast<int>(length), kReadWaitMs, done);
    // Bytes that came before a time-out or an error are still the device's.
    return done > 0 ? static_cast<unsigned>(done) : 0;
}

unsigned CLibusbLayer::ReadPending(unsigned char* buffer, unsigned length, unsigned waitMs) {
    int done = 0;
    // A zero time-out would mean no time-out at all.
    Transfer(m_in, buffer, static_cast<int>(length), std::max(1u, waitMs), done, false);
    return done > 0 ? static_cast<unsigned>(done) : 0;
}

void CLibusbLayer::Close() {
    if (m_handle) {
        if (m_interface >= 0) libusb_release_interface(m_handle, m_interface);
        if (m_reattach) libusb_attach_kernel_driver(m_handle, m_interface);
        libusb_close(m_handle);
    }
    m_handle = nullptr;
    m_interface = -1;
    m_reattach = false;
    if (m_ctx) libusb_exit(m_ctx);
    m_ctx = nullptr;
}

std::vector<UsbInstrumentFound> CLibusbLayer::List() {
    std::vector<UsbInstrumentFound> found;
    libusb_context* ctx = nullptr;
    if (libusb_init(&ctx) != 0) return found;
    libusb_device** devices = nullptr;
    const ssize_t count = libusb_get_device_list(ctx, &devices);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(devices[i], &d) != 0) continue;
        if (const UsbModelRow* row = FindUsbModelByIds(d.idVendor, d.idProduct))
            found.push_back(
                {row, libusb_get_bus_number(devices[i]), libusb_get_device_address(devices[i])});
    }
    if (devices) libusb_free_device_list(devices, 1);
    libusb_exit(ctx);
    return found;
}

}  // namespace

std::unique_ptr<CUsbDeviceLayer> CreateLibusbLayer() {
    return std::make_unique<CLibusbLayer>();
}

#endif  // JVS_HAVE_LIBUSB
