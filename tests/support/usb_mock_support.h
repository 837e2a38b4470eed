// An emulated USB instrument for umockdev: the device description (sysfs
// attributes and descriptors with the model's ids and bulk endpoints) and a
// usbmon recording of the exchange it replays, in order, against the real
// libusb layer. An OUT packet that differs from the recording is never taken,
// so the program under test sees its write time out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "JvsProcess_support.h"

struct UsbModelRow;

struct CMockUsbDevice {
    const UsbModelRow* model = nullptr;
    int bus = 1;
    int address = 2;
    // The .umockdev text and the sysfs path the recording is attached to.
    std::string Description() const;
    std::string SysfsPath() const;
};

class CUsbmonRecording {
public:
    explicit CUsbmonRecording(const CMockUsbDevice& device) : m_device(device) {}
    // The host sends exactly these 64 bytes to the OUT endpoint.
    void Out(const std::string& packet);
    // The host reads 64 bytes from the IN endpoint and gets these.
    void In(const std::string& bytes);
    // The device is unplugged during the next transfer in that direction.
    void GoneOut();
    void GoneIn();
    // The pcap file (link type 220, usbmon with 64-byte headers).
    std::string Bytes() const;

private:
    void Transfer(bool in, const std::string& submitted, const std::string& completed, int status,
                  unsigned completedLength);
    CMockUsbDevice m_device;
    std::string m_records;
    uint64_t m_id = 0x1000;
    uint64_t m_timeUs = 1000000;
};

// Packet helper: the bytes zero-filled to 64.
std::string UsbPacket(const std::string& bytes);

// Runs `jvs ARGS` under umockdev-run with the given devices, each with its
// recording (none: the device is only present), in dir; ARGS split at spaces.
// With interruptAfter (seconds, e.g. "0.5") jvs gets SIGINT then.
CJvsResult RunJvsWithMockUsb(const std::string& dir, const std::vector<CMockUsbDevice>& devices,
                             const std::vector<std::string>& recordings, const std::string& args,
                             const std::string& stdinText = {},
                             const std::string& interruptAfter = {});

// Why the umockdev tests cannot run here (no umockdev-run, no libusb, no jvs),
// or empty.
std::string MockUsbUnavailable();
