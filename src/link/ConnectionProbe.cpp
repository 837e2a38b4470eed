#include "link/ConnectionProbe.h"

#include <cstdio>
#include <cstring>
#include <thread>

bool ProbePort(const std::string& name, const ComSettingsRecord& settings,
               const CProbeTiming& timing) {
    ComSettingsRecord line = settings;
    std::snprintf(line.COMPort, sizeof line.COMPort, "%s", name.c_str());
    CSerialPort port;
    // Missing or busy ports are passed over without a word.
    if (!port.Open(line, timing.timeouts)) return false;
    unsigned char reply[128] = {};
    port.Purge(true, true);
    port.Write(kProbeGreeting, sizeof kProbeGreeting - 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(timing.pauseMs));
    size_t got = port.Read(reply, 5);
    port.Close();
    const size_t want = sizeof kProbeAnswer - 1;
    return got >= want && std::memcmp(reply, kProbeAnswer, want) == 0;
}

int Probe(CProbeScreen& screen, const CProbeTiming& timing) {
    screen.SetStatusText(kMsgProbeStatus);
    const ComSettingsRecord settings = ComSettings.Get();
    for (int n = timing.firstPort; n <= timing.lastPort; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (ProbePort(name, settings, timing)) {
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
    screen.ShowMessage(kMsgProbeFailed);
    return 0;
}
