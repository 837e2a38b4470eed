// The connection probe: tries COM1..COM16 in order with the current line
// settings, then the serial devices present that no COM name reaches; sends
// the greeting and takes the first port that answers "OK\r\n".
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "config/LinkSettings.h"
#include "link/SerialPort.h"

inline constexpr char kMsgProbeStatus[] = "正在尝试与仪器进行连接...\r\n";
inline constexpr char kMsgProbeSucceeded[] = "与仪器链接成功!";
inline constexpr char kMsgProbeFailed[] = "与仪器链接失败!";

// Where the probe reports to: the window's view and message box, or the console.
class CProbeScreen {
public:
    virtual ~CProbeScreen() = default;
    // Replaces the view's whole text with this (UTF-8; empty clears it), puts
    // the caret at the end and repaints at once.
    virtual void SetStatusText(const std::string& utf8) = 0;
    // The outcome, as a modal message.
    virtual void ShowMessage(const std::string& utf8) = 0;
    // Called before each port is tried (progress), and between two ports.
    virtual void TryingPort(const std::string& /*name*/) {}
    virtual void BetweenPorts() {}
};

struct CProbeTiming {
    int pauseMs = 200;  // between the greeting and the read
    SerialTimeouts timeouts{20, 80, 500, 800, 800};
    int firstPort = 1;
    int lastPort = 16;
    bool devices = true;  // also the devices no COM name reaches
};

// The names the probe tries, in order.
std::vector<std::string> ProbeCandidates(const CProbeTiming& timing);

// Stops a probe running on another thread (an interrupt, the window's stop):
// the port being tried is woken at once, closed with its own settings put
// back, and no further port is tried.
class CProbeStop {
public:
    void Stop();  // from any thread but a signal handler
    bool Stopped() const { return m_stopped; }

    // The port being tried, while it is open (ProbePort's side).
    void Attach(CSerialPort* port);
    // Sleeps, or less when stopped.
    void Pause(int ms);

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    CSerialPort* m_port = nullptr;
    std::atomic<bool> m_stopped{false};
};

// Tries one port with the given line settings. True when it answered.
bool ProbePort(const std::string& name, const ComSettingsRecord& settings,
               const CProbeTiming& timing = {}, CProbeStop* stop = nullptr);

// The whole probe: returns 1 when an instrument answered (its port name, or
// the device path, is then in ComSettings.COMPort), 0 otherwise. The view is left empty either way;
// a stopped probe shows no message.
int Probe(CProbeScreen& screen, const CProbeTiming& timing = {}, CProbeStop* stop = nullptr);
