#include "usb_mock_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "TempCwd_support.h"
#include "link/UsbDevice.h"
#include "link/UsbModelIds.h"

namespace {

void Put16(std::string& s, unsigned v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}
void Put64(std::string& s, uint64_t v) {
    Put32(s, static_cast<uint32_t>(v));
    Put32(s, static_cast<uint32_t>(v >> 32));
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Device and configuration descriptors: one configuration, interface 0
// (vendor class) with the model's bulk IN and OUT endpoints of 64 bytes.
std::string Descriptors(const UsbModelIdsRecord& ids) {
    std::string d;
    d += "\x12\x01";
    Put16(d, 0x0200);  // USB 2.0
    d += std::string("\x00\x00\x00\x40", 4);
    Put16(d, ids.VendorId);
    Put16(d, ids.ProductId);
    Put16(d, 0x0100);
    d += std::string("\x00\x00\x00\x01", 4);
    std::string body = std::string("\x09\x04\x00\x00\x02\xff\x00\x00\x00", 9);
    for (uint32_t ep : {ids.InEndpoint, ids.OutEndpoint}) {
        body += "\x07\x05";
        body += static_cast<char>(ep);
        body += '\x02';  // bulk
        Put16(body, 64);
        body += '\0';
    }
    d += "\x09\x02";
    Put16(d, static_cast<unsigned>(9 + body.size()));
    d += std::string("\x01\x01\x00\x80\x32", 5);
    return d + body;
}

}  // namespace

std::string CMockUsbDevice::SysfsPath() const {
    return "/sys/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(bus) + "/" +
           std::to_string(bus) + "-" + std::to_string(address);
}

std::string CMockUsbDevice::Description() const {
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/%03d/%03d", bus, address);
    char ids[32];
    std::snprintf(ids, sizeof ids, "%04x %04x", model->Ids.VendorId, model->Ids.ProductId);
    const std::string n = node;
    return "P: " + SysfsPath().substr(4) + "\nN: " + n + "\nE: SUBSYSTEM=usb\n" +
           "E: DEVTYPE=usb_device\nE: DEVNAME=/dev/" + n + "\nE: BUSNUM=" + n.substr(8, 3) +
           "\nE: DEVNUM=" + n.substr(12, 3) + "\nA: busnum=" + std::to_string(bus) +
           "\nA: devnum=" + std::to_string(address) + "\nA: idVendor=" + std::string(ids, 4) +
           "\nA: idProduct=" + std::string(ids + 5, 4) +
           "\nA: bConfigurationValue=1\nA: bNumConfigurations=1\nA: speed=12\n" +
           "H: descriptors=" + Hex(Descriptors(model->Ids)) + "\n";
}

std::string UsbPacket(const std::string& bytes) {
    std::string p = bytes;
    p.resize(64, '\0');
    return p;
}

// One usbmon event: the 64-byte header, then the captured data.
void CUsbmonRecording::Transfer(bool in, const std::string& submitted, const std::string& completed,
                                int status, unsigned completedLength) {
    const uint32_t ep = in ? m_device.model->Ids.InEndpoint : m_device.model->Ids.OutEndpoint;
    ++m_id;
    for (int phase = 0; phase < 2; ++phase) {
        const std::string& data = phase == 0 ? submitted : completed;
        std::string h;
        Put64(h, m_id);
        h += phase == 0 ? 'S' : 'C';
        h += '\x03';  // bulk
        h += static_cast<char>(ep);
        h += static_cast<char>(m_device.address);
        Put16(h, static_cast<unsigned>(m_device.bus));
        h += '-';                        // no setup packet
        h += data.empty() ? '<' : '\0';  // data follows or not
        m_timeUs += 100;
        Put64(h, m_timeUs / 1000000);
        Put32(h, static_cast<uint32_t>(m_timeUs % 1000000));
        Put32(h, static_cast<uint32_t>(phase == 0 ? -115 : status));  // -EINPROGRESS
        Put32(h, phase == 0 ? 64 : completedLength);
        Put32(h, static_cast<uint32_t>(data.size()));
        h += std::string(24, '\0');
        std::string record;
        Put32(record, static_cast<uint32_t>(m_timeUs / 1000000));
        Put32(record, static_cast<uint32_t>(m_timeUs % 1000000));
        Put32(record, static_cast<uint32_t>(h.size() + data.size()));
        Put32(record, static_cast<uint32_t>(h.size() + data.size()));
        m_records += record + h + data;
    }
}

void CUsbmonRecording::Out(const std::string& packet) {
    Transfer(false, packet, {}, 0, 64);
}

void CUsbmonRecording::In(const std::string& bytes) {
    Transfer(true, {}, bytes, 0, static_cast<unsigned>(bytes.size()));
}

// An unplugged device ends the transfers in flight with -ESHUTDOWN. A submit
// recorded without data matches whatever packet the host sends.
void CUsbmonRecording::GoneOut() {
    Transfer(false, {}, {}, -108, 0);
}

void CUsbmonRecording::GoneIn() {
    Transfer(true, {}, {}, -108, 0);
}

std::string CUsbmonRecording::Bytes() const {
    std::string file;
    Put32(file, 0xa1b2c3d4);
    Put16(file, 2);
    Put16(file, 4);
    Put32(file, 0);
    Put32(file, 0);
    Put32(file, 65535);
    Put32(file, 220);  // LINKTYPE_USB_LINUX_MMAPPED
    return file + m_records;
}

std::string MockUsbUnavailable() {
    if (!HaveUsbSupport()) return "built without libusb";
    if (std::system("command -v umockdev-run >/dev/null 2>&1") != 0)
        return "umockdev-run not installed (Debian package umockdev)";
    if (access(JvsPath().c_str(), X_OK) != 0) return "jvs not built";
    return {};
}

CJvsResult RunJvsWithMockUsb(const std::string& dir, const std::vector<CMockUsbDevice>& devices,
                             const std::vector<std::string>& recordings, const std::string& args,
                             const std::string& stdinText, const std::string& interruptAfter) {
    // In its own directory, so no settings file of the caller's applies.
    CJvsOptions options;
    options.cwd = dir;
    // umockdev-run puts its library first in LD_PRELOAD; an AddressSanitizer
    // build must then be told not to insist on coming first.
    const char* asan = std::getenv("ASAN_OPTIONS");
    options.env = {{"ASAN_OPTIONS", (asan && *asan ? std::string(asan) + ":" : std::string()) +
                                        "verify_asan_link_order=0"}};
    options.prefix = {"umockdev-run"};
    for (size_t i = 0; i < devices.size(); ++i) {
        const std::string desc = dir + "/dev" + std::to_string(i) + ".umockdev";
        WriteFileBytes(desc, devices[i].Description());
        options.prefix.insert(options.prefix.end(), {"-d", desc});
        if (i < recordings.size() && !recordings[i].empty()) {
            const std::string pcap = dir + "/dev" + std::to_string(i) + ".pcap";
            WriteFileBytes(pcap, recordings[i]);
            options.prefix.insert(options.prefix.end(),
                                  {"-p", devices[i].SysfsPath() + "=" + pcap});
        }
    }
    options.prefix.push_back("--");
    // The signal goes to jvs itself, not to umockdev-run; a background job's
    // input would be /dev/null unless handed on explicitly.
    if (!interruptAfter.empty())
        options.prefix.insert(options.prefix.end(),
                              {"sh", "-c",
                               "exec 3<&0; \"$0\" \"$@\" <&3 3<&- & p=$!; sleep " + interruptAfter +
                                   "; kill -INT $p; wait $p"});
    options.stdinPath = dir + "/stdin";
    WriteFileBytes(options.stdinPath, stdinText);
    std::vector<std::string> words;
    std::istringstream split(args);
    for (std::string w; split >> w;) words.push_back(w);
    return CJvsProcess(words, options).Wait(60000);
}
