// `jvs probe [line options]`: the connection probe on the console. The port
// found goes to standard output; the window's status line and messages go to
// standard error. `jvs ports`: the ports the COM dialog offers.
#include <atomic>
#include <cstdio>
#include <thread>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "link/ConnectionProbe.h"
#include "link/PortNames.h"

namespace cli {
namespace {

class CConsoleProbeScreen : public CProbeScreen {
public:
    void SetStatusText(const std::string& utf8) override {
        std::string line = utf8;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (!line.empty()) PrintMessage(line);
    }
    void ShowMessage(const std::string& utf8) override { PrintMessage(utf8); }
};

int RunProbe(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    LoadSettingsInForce();
    ComSettingsRecord settings = ComSettings.Get();
    CLineParse parse = ParseLineOptions(args, settings, LineCheck::Transfer);
    if (!parse.ok || !args.empty()) {
        std::fprintf(stderr, "jvs probe: %s\n",
                     parse.ok ? ("unexpected argument '" + args.front() + "'").c_str()
                              : parse.usageError.c_str());
        return kExitUsage;
    }
    // The scan always covers COM1..COM16 and the devices present; the other
    // line options apply to it.
    ComSettings.Set(settings);
    CConsoleProbeScreen screen;
    // The scan runs beside a main thread that takes the signals, so an
    // interrupt closes the port being tried with its settings put back.
    CInterruptWatch watch;
    CProbeStop stop;
    std::atomic<int> found{-1};
    std::thread scan([&] { found = Probe(screen, {}, &stop); });
    int signal = watch.WaitWhile([&found] { return found < 0; });
    if (signal != 0) stop.Stop();
    scan.join();
    if (signal == 0) signal = watch.Take(0);
    if (signal != 0) {
        PrintMessage("jvs: interrupted by " + SignalName(signal));
        return InterruptedStatus(signal);
    }
    if (found != 1) return kExitFailed;
    std::printf("%s\n", ComSettings.Get().COMPort);
    return FlushStandardOutput() ? kExitDone : kExitFailed;
}

// One line per port: the name the settings take, the device, a readable name
// ("-" where there is none).
int RunPorts(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "jvs ports: unexpected argument '%s'\n", args.front().c_str());
        return kExitUsage;
    }
    auto field = [](const std::string& s) { return s.empty() ? std::string("-") : s; };
    for (const CPortEntry& p : ListOfferedPorts())
        std::printf("%s\t%s\t%s\n", p.name.c_str(), field(p.device).c_str(),
                    field(p.readable).c_str());
    return FlushStandardOutput() ? kExitDone : kExitFailed;
}

const CCommandRegistrar kProbe("probe",
                               "jvs probe [line options]          # scans COM1..COM16 and the "
                               "serial devices present; prints the port found",
                               &RunProbe);
const CCommandRegistrar kPorts("ports",
                               "jvs ports                         # the ports the COM dialog "
                               "offers: name, device, readable name",
                               &RunPorts);

}  // namespace
}  // namespace cli
