#include "link/ConnectionProbe.h"

#include <cstdio>
#include <cstring>
#include <thread>

#include "base/ControlBytes.h"

void CProbeStop::Stop() {
    std::lock_guard lock(m_mutex);
    m_stopped = true;
    if (m_port) m_port->Cancel();
    m_wake.notify_all();
}

void CProbeStop::Attach(CSerialPort* port) {
    std::lock_guard lock(m_mutex);
    m_port = port;
    // A stop that came while the port was opening wakes it too.
    if (port && m_stopped) port->Cancel();
}

void CProbeStop::Pause(int ms) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopped.load(); });
}

bool ProbePort(const std::string& name, const ComSettingsRecord& settings,
               const CProbeTiming& timing, CProbeStop* stop) {
    ComSettingsRecord line = settings;
    std::snprintf(line.COMPort, sizeof line.COMPort, "%s", name.c_str());
    CSerialPort port;
    // Missing or busy ports are passed over without a word.
    if (!port.Open(line, timing.timeouts)) return false;
    if (stop) stop->Attach(&port);
    unsigned char reply[128] = {};
    port.Purge(true, true);
    port.Write(kProbeGreeting.data(), kProbeGreeting.size());
    if (stop)
        stop->Pause(timing.pauseMs);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(timing.pauseMs));
    size_t got = port.Read(reply, 5);
    port.Close();
    if (stop) {
        stop->Attach(nullptr);
        if (stop->Stopped()) return false;
    }
    return got >= kProbeAnswer.size() &&
           std::memcmp(reply, kProbeAnswer.data(), kProbeAnswer.size()) == 0;
}

std::vector<std::string> ProbeCandidates(const CProbeTiming& timing) {
    std::vector<std::string> names;
    for (int n = timing.firstPort; n <= timing.lastPort; ++n)
        names.push_back("COM" + std::to_string(n));
    if (timing.devices)
        for (std::string& device : UncoveredDevices()) names.push_back(std::move(device));
    return names;
}

int Probe(CProbeScreen& screen, const CProbeTiming& timing, CProbeStop* stop) {
    screen.SetStatusText(kMsgProbeStatus);
    const ComSettingsRecord settings = ComSettings.Get();
    for (const std::string& name : ProbeCandidates(timing)) {
        if (stop && stop->Stopped()) break;
        screen.TryingPort(name);
        if (ProbePort(name, settings, timing, stop)) {
            ComSettings.Update([&](ComSettingsRecord& r) {
                std::memset(r.COMPort, 0, sizeof r.COMPort);
                std::snprintf(r.COMPort, sizeof r.COMPort, "%s", name.c_str());
            });
            screen.SetStatusText("");
            screen.ShowMessage(kMsgProbeSucceeded);
            return 1;
        }
        screen.BetweenPorts();
    }
    screen.SetStatusText("");
    if (!(stop && stop->Stopped())) screen.ShowMessage(kMsgProbeFailed);
    return 0;
}
