// The COM port, on Linux through termios. Port names are the "COMn" names the
// program shows everywhere; ResolvePortName (link/PortNames.h) maps them to devices.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>

#include "base/CancelToken.h"
#include "config/LinkSettings.h"
#include "link/PortNames.h"
#include "link/TermiosLine.h"

inline constexpr char kMsgPortOpenFailed[] = "不存在该端口,或者COM端口被占用!";

// How the transfers talk over the line (the settings' `Protol` code).
enum class LineProtocol { None, AckNak };
LineProtocol ProtocolOf(const ComSettingsRecord& settings);

// Why an open failed, for the second line of the port message.
enum class PortOpenFailure {
    None,
    NoDevice,     // the name maps to no device
    System,       // the system refused (error holds errno)
    NotTerminal,  // the file is not a terminal device
    Busy          // another program holds the port's lock
};
struct CPortOpenError {
    PortOpenFailure kind = PortOpenFailure::None;
    int error = 0;
    std::string name;    // as given ("COM3")
    std::string device;  // what it resolved to
};
// The message every caller shows for a port that would not open: the
// program's own text, then a line naming the device and the system's reason,
// with what to do about it where there is something to do.
std::string PortOpenFailedText(const CPortOpenError& error);

// Read and write time-outs in milliseconds, with the meaning of the classic
// serial time-out record (interval between bytes, total = multiplier * n + constant).
// A zero disables that bound; all read fields zero means "wait for all n bytes".
struct SerialTimeouts {
    unsigned readInterval = 100;
    unsigned readTotalMultiplier = 800;
    unsigned readTotalConstant = 5000;
    unsigned writeTotalMultiplier = 800;
    unsigned writeTotalConstant = 800;
};

class CSerialPort {
public:
    CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;
    virtual ~CSerialPort();

    // Opens the port named by ComSettings (exclusively) with its line parameters
    // and the standard time-outs. Returns false when the port is
    // missing or in use; the caller shows kMsgPortOpenFailed. An open port is
    // closed first. Opening also withdraws an earlier Cancel.
    bool Open();
    bool Open(const ComSettingsRecord& settings);
    // Opens with explicit time-outs (the connection probe, the transfers). Linux
    // keeps its own tty buffers, so there are no queue sizes to ask for.
    // A transfer hands in its cancel token: every wait of the port then ends
    // when the transfer is stopped. Without one the port has its own (Cancel).
    bool Open(const ComSettingsRecord& settings, const SerialTimeouts& timeouts,
              const CCancelToken* cancel = nullptr);
    bool IsOpen() const;
    // Waits (bounded by the write time-outs) for written bytes to leave, puts
    // back the terminal settings the device had before the open, clears
    // exclusive mode, drops the lock and closes. After a cancel or a failed
    // write the unsent bytes are discarded instead of waited for.
    void Close();
    // Why the last Open failed, and the message for it.
    const CPortOpenError& OpenError() const { return m_openError; }
    std::string OpenFailedText() const { return PortOpenFailedText(m_openError); }

    // Bytes waiting in the input queue.
    size_t QueuedBytes() const;
    void Purge(bool input, bool output);
    // Blocking read of up to n bytes, bounded by the time-outs. Returns the count read.
    size_t Read(void* buffer, size_t n);
    // Up to n bytes already queued, without waiting; 0 when none are.
    size_t ReadQueued(void* buffer, size_t n);
    // Up to n bytes queued or arriving before the deadline; 0 when none came
    // or the far end is gone. Unlike Read it does not give up after Cancel: a
    // stopped download still takes what the line brought in its last moments.
    size_t ReadArriving(void* buffer, size_t n, std::chrono::steady_clock::time_point deadline);
    // Blocking write, bounded by the write time-outs. Returns the count written;
    // less than n when the line failed (the far end hung up), the time-outs
    // ran out (the far end stopped reading) or the port was cancelled.
    size_t Write(const void* buffer, size_t n);
    // Blocks until input is queued or the deadline passes (or Cancel is called).
    // Returns true when input is queued. A line that hung up waits for the
    // deadline like a silent one, so a polling caller never spins.
    bool WaitForInput(std::chrono::steady_clock::time_point deadline);
    // Wakes any thread blocked in Read, Write or WaitForInput, and makes them
    // return at once until the next Open (ports opened without a transfer's
    // token: the probe). Safe from any thread and from a signal handler.
    void Cancel() noexcept;
    bool IsCancelled() const;

    void SetTimeouts(const SerialTimeouts& timeouts) { m_timeouts = timeouts; }
    const SerialTimeouts& Timeouts() const { return m_timeouts; }
    // The name as given ("COM3") and the device it was opened as.
    const std::string& Name() const { return m_name; }
    const std::string& DevicePath() const { return m_device; }
    int Handle() const { return m_fd.load(); }

private:
    // Waits for the descriptor to become ready (events) or the deadline, whichever
    // first; returns the revents, 0 on time-out or cancel.
    short WaitFd(short events, std::chrono::steady_clock::time_point deadline, bool untimed);
    bool Fail(PortOpenFailure kind, int error, const std::string& device);
    void DrainOutput(int fd);

    std::string m_name;
    std::string m_device;
    std::atomic<int> m_fd{-1};
    int WakeFd() const;

    CCancelToken m_ownCancel;
    std::atomic<const CCancelToken*> m_cancel{&m_ownCancel};
    SerialTimeouts m_timeouts;
    CPortOpenError m_openError;
    termios m_savedTermios{};
    bool m_haveSavedTermios = false;
    std::atomic<bool> m_writeFailed{false};
};

extern CSerialPort g_SerialPort;
