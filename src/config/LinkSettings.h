// The two process-wide link settings records and their defaults.
#pragma once

#include <cstdint>
#include <mutex>

struct ComSettingsRecord {
    int8_t Protol = 0;  // 0 None, 1 Ack/Nak
    // Room for "COM16" as well as a device path (a by-id name runs to 100 characters).
    char COMPort[256] = "COM1";
    int32_t Baudrate = 115200;
    int8_t DataBit = 8;
    int8_t StopBit = 0;              // line set-up code: 0 one, 1 one and a half, 2 two
    int8_t CheckBit = 0;             // line set-up code: 0 none, 1 odd, 2 even
    int32_t ReceiveTimeOut = 10000;  // ms
    int32_t RowDelay = 200;          // ms
};

struct UsbSettingsRecord {
    int32_t USBRevTimeOut = 0;   // ms
    int32_t USBRevRowDelay = 0;  // ms
};

// A record shared between the user-interface thread and a transfer worker.
// Reads and writes copy the whole record under a lock, so a worker never
// sees a half-written port name.
template <class T>
class CSharedRecord {
public:
    T Get() const {
        std::lock_guard lock(m_mutex);
        return m_value;
    }
    void Set(const T& value) {
        std::lock_guard lock(m_mutex);
        m_value = value;
    }
    template <class F>
    void Update(F&& change) {
        std::lock_guard lock(m_mutex);
        change(m_value);
    }

private:
    mutable std::mutex m_mutex;
    T m_value{};
};

extern CSharedRecord<ComSettingsRecord> ComSettings;
extern CSharedRecord<UsbSettingsRecord> UsbSettings;

// What a line setting may be. The COM dialog offers these, the settings loader
// accepts them, `jvs` names them on its command line and the port sets them up.
struct CLinkChoice {
    int8_t code;         // as the settings record and file hold it
    const char* option;  // as `jvs` takes it
};
inline constexpr int32_t kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
inline constexpr CLinkChoice kDataBitChoices[] = {{7, "7"}, {8, "8"}};
inline constexpr CLinkChoice kParityChoices[] = {{0, "none"}, {1, "odd"}, {2, "even"}};
inline constexpr CLinkChoice kStopBitChoices[] = {{0, "1"}, {2, "2"}};
inline constexpr CLinkChoice kProtocolChoices[] = {{0, "none"}, {1, "acknak"}};
// The time-out (ms) and row delay (ms) the dialogs can write.
inline constexpr int32_t kTimeoutMsMin = 1000, kTimeoutMsMax = 999000;
inline constexpr int32_t kRowDelayMin = 1, kRowDelayMax = 9999;

bool IsBaudRate(long long rate);
template <size_t N>
bool IsChoice(const CLinkChoice (&choices)[N], long long code) {
    for (const CLinkChoice& c : choices)
        if (c.code == code) return true;
    return false;
}

// The USB settings in force: a time-out or row delay of 0 was never set and
// stands for the dialog's replacement values, 10 s and 800 ms.
inline constexpr int32_t kUsbDefaultTimeoutMs = 10000;
inline constexpr int32_t kUsbDefaultRowDelayMs = 800;
UsbSettingsRecord UsbSettingsInForce(UsbSettingsRecord record);

// Puts both records back to their defaults (program start, tests).
void ResetLinkSettings();
