// The COM port, on Linux through termios. Port names are the "COMn" names the
// program shows everywhere; ResolvePortName maps them to devices.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "config/LinkSettings.h"

inline constexpr char kMsgPortOpenFailed[] = "不存在该端口,或者COM端口被占用!";

// Read and write time-outs in milliseconds, with the meaning of the classic
// serial time-out record (interval between bytes, total = multiplier * n + constant).
struct SerialTimeouts {
    unsigned readInterval = 100;
    unsigned readTotalMultiplier = 800;
    unsigned readTotalConstant = 5000;
    unsigned writeTotalMultiplier = 800;
    unsigned writeTotalConstant = 800;
};

// "COMn" -> device path: a path starting with '/' as it is; with JVS_COM_DIR
// set, $JVS_COM_DIR/COMn; else COM1-8 ttyUSB0-7, COM9-12 ttyACM0-3, COM13-16 ttyS0-3.
std::string ResolvePortName(const std::string& name);

class CSerialPort {
public:
    CSerialPort() = default;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;
    virtual ~CSerialPort();

    // Opens the port named by ComSettings (exclusively) with its line parameters,
    // 4096-byte queues and the standard time-outs. Returns false when the port is
    // missing or in use; the caller shows kMsgPortOpenFailed.
    bool Open();
    bool Open(const ComSettingsRecord& settings);
    // Opens with explicit queue sizes and time-outs (the connection probe).
    bool Open(const ComSettingsRecord& settings, size_t queueSize, const SerialTimeouts& timeouts);
    bool IsOpen() const;
    void Close();

    // Bytes waiting in the input queue.
    size_t QueuedBytes() const;
    // Queries and clears the line's error state (kept for the shared conventions).
    void ClearError();
    void Purge(bool input, bool output);
    // Blocking read of up to n bytes, bounded by the time-outs. Returns the count read.
    size_t Read(void* buffer, size_t n);
    // Blocking write, bounded by the write time-outs. Returns the count written.
    size_t Write(const void* buffer, size_t n);
    // Blocks until input is queued or the deadline passes (or Cancel is called).
    // Returns true when input is queued.
    bool WaitForInput(std::chrono::steady_clock::time_point deadline);
    // Wakes any thread blocked in Read or WaitForInput; used when the program exits
    // during a transfer.
    void Cancel();

    const std::string& Name() const { return m_name; }
    int Handle() const { return m_fd; }

private:
    std::string m_name;
    int m_fd = -1;
    int m_wakeFd = -1;
    SerialTimeouts m_timeouts;
};

extern CSerialPort g_SerialPort;
