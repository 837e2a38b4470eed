// `jvs sim`: a simulated total station on a pseudo-terminal, so that every
// transfer can be tried without hardware. It serves one PC session after the
// other until interrupted (or, with --once, until its first transfer ends).
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "base/ControlBytes.h"
#include "base/SafeFile.h"
#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/LineOptions.h"
#include "link/SerialPort.h"
#include "sim/SimInstrument.h"
#include "transfer/TransferWorkers.h"

namespace cli {
namespace {

std::atomic<bool> g_bSimInterrupted{false};

void OnSimSignal(int) {
    g_bSimInterrupted = true;
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "jvs sim: %s\n", why.c_str());
    return kExitUsage;
}

void Say(const std::string& text) {
    std::fprintf(stderr, "sim: %s\n", text.c_str());
}

bool ParseCount(const std::string& text, long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || v < 0) return false;
    out = v;
    return true;
}

// What the command line asks of this simulator.
struct CSimRun {
    CSimOptions options;
    std::string family, port, link, sendFile, receiveFile, reply;
    long long after = -1, silentAfter = -1, hangUpAfter = -1, chunk = 0, gap = 0;
    bool once = false, noGreeting = false;
};

// A status to exit with, or kGoOn.
constexpr int kGoOn = -1;

int TakeSimOptions(std::vector<std::string>& args, CSimRun& run) {
    std::string value;
    bool missing = false;
    for (auto [name, target] : {std::pair{"--link", &run.link},
                                {"--send", &run.sendFile},
                                {"--receive", &run.receiveFile},
                                {"--reply", &run.reply}})
        if (TakeOption(args, name, value, missing)) *target = value;
    long long number = 0;
    for (auto [name, target] : {std::pair{"--after", &run.after},
                                {"--silent-after", &run.silentAfter},
                                {"--hang-up-after", &run.hangUpAfter},
                                {"--chunk", &run.chunk},
                                {"--gap", &run.gap}}) {
        if (!TakeOption(args, name, value, missing)) continue;
        if (!ParseCount(value, number)) return Usage(std::string(name) + ": a whole number");
        *target = number;
    }
    run.once = TakeFlag(args, "--once");
    run.options.repeat = TakeFlag(args, "--repeat");
    run.noGreeting = TakeFlag(args, "--no-greeting");
    if (missing) return Usage("an option needs a value");
    if (args.size() != 1 || (args[0] != "qmx210" && args[0] != "qmx610"))
        return Usage("give the family: qmx210 or qmx610");
    run.family = args[0];
    return kGoOn;
}

// The port link: --link, else $JVS_COM_DIR/COMn.
int ResolveLink(CSimRun& run) {
    if (!run.link.empty()) return kGoOn;
    const char* dir = std::getenv("JVS_COM_DIR");
    if (!dir || !*dir)
        return Usage("set JVS_COM_DIR to a directory for the port links, or give --link PATH");
    if (run.port.rfind("COM", 0) != 0 || run.port.find('/') != std::string::npos)
        return Usage("--port: a name such as COM3");
    run.link = std::string(dir) + "/" + run.port;
    return kGoOn;
}

// The download to send, the answer to upload segments and the pacing.
int FillSimOptions(CSimRun& run) {
    CSimOptions& options = run.options;
    if (!run.sendFile.empty()) {
        std::string bytes;
        if (!ReadInput(run.sendFile, bytes)) return kExitFailed;
        options.sendData = std::move(bytes);
    }
    if (!run.reply.empty()) {
        std::string bytes;
        if (run.reply == "ack")
            bytes = kAckReply;
        else if (run.reply == "nak")
            bytes = kNakReply;
        else if (run.reply != "none")
            return Usage("--reply: ack, nak or none");
        options.reply = [bytes](int, const std::string&) { return bytes; };
    }
    options.family = run.family == "qmx210" ? SimFamily::Qmx210 : SimFamily::Qmx610;
    options.linkPath = run.link;
    // Like every download, an upload it stores is bounded.
    options.keepLimit = kDownloadLimit;
    options.afterMs = static_cast<int>(std::min<long long>(run.after, 24LL * 3600 * 1000));
    options.silentAfter = run.silentAfter;
    options.hangUpAfter = run.hangUpAfter;
    options.chunkSize = static_cast<size_t>(run.chunk);
    options.chunkGapMs = static_cast<int>(std::min<long long>(run.gap, 60000));
    options.answerGreeting = !run.noGreeting;
    return kGoOn;
}

// An upload arrived whole or cut short: stored in --receive FILE. One that
// could not be stored (whole) makes the run a failure.
void StoreUpload(const CSimInstrument& sim, SimEvent event, const std::string& receiveFile,
                 std::atomic<bool>& lost) {
    const std::string data = sim.Received();
    std::string what = event == SimEvent::UploadComplete ? "upload received" : "upload cut short";
    if (!receiveFile.empty()) {
        if (const int error = WriteOutput(receiveFile, data); error == 0) {
            what += " -> " + receiveFile;
        } else {
            what += ", cannot write '" + receiveFile + "': " + FileErrorText(error);
            lost = true;
        }
    }
    Say(what + " (" + std::to_string(data.size()) + " bytes)");
    if (sim.ReceivedCut()) {
        Say(kMsgDownloadTooLarge);
        lost = true;
    }
}

// What the simulator does, told on standard error.
void TellEvent(const CSimInstrument& sim, const CSimRun& run, std::atomic<bool>& lost,
               SimEvent event, const std::string& detail) {
    switch (event) {
        case SimEvent::PortOpened:
            Say("the PC opened the port");
            if (run.options.sendData.has_value() && run.options.afterMs < 0)
                Say("press Enter here to start sending");
            break;
        case SimEvent::PortClosed:
            Say("the PC closed the port");
            break;
        case SimEvent::Greeting:
            Say("connection greeting received");
            break;
        case SimEvent::SendingStarted:
            Say("sending " + detail + " bytes");
            break;
        case SimEvent::DownloadSent:
            Say("download sent (" + detail + " bytes)");
            break;
        case SimEvent::UploadComplete:
        case SimEvent::TransferAborted:
            if (event == SimEvent::TransferAborted && detail != "upload")
                Say("the PC closed the port in the middle of the download");
            else
                StoreUpload(sim, event, run.receiveFile, lost);
            break;
        case SimEvent::HungUp:
            Say("hung up the line");
            break;
    }
}

void CatchSimSignals() {
    g_bSimInterrupted = false;
    struct sigaction action {};
    action.sa_handler = OnSimSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

// The simulator's own operator: each Enter on standard input is the
// instrument's Enter key. The short poll only watches for the signal.
void ServeOperator(CSimInstrument& sim, bool once) {
    bool stdinOpen = true;
    while (!g_bSimInterrupted) {
        if (once && sim.WaitUntilDone(std::chrono::milliseconds(0))) break;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        int r = poll(&p, stdinOpen ? 1 : 0, 200);
        if (r > 0 && (p.revents & (POLLIN | POLLHUP))) {
            char buf[256];
            ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0) {
                stdinOpen = false;
                continue;
            }
            for (ssize_t i = 0; i < n; ++i)
                if (buf[i] == kLf) sim.Trigger();
        }
    }
}

int RunSim(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    LoadSettingsInForce();
    ComSettingsRecord line = ComSettings.Get();
    CLineParse parse = ParseLineOptions(args, line, LineCheck::Transfer);
    if (!parse.ok) return Usage(parse.usageError);

    CSimRun run;
    run.options.ackNak = ProtocolOf(line) == LineProtocol::AckNak;
    run.port = line.COMPort;
    if (const int status = TakeSimOptions(args, run); status != kGoOn) return status;
    // With --link the settings' port name is not where the program finds the sim.
    const std::string shownAs = run.link.empty() ? run.port : run.link;
    if (const int status = ResolveLink(run); status != kGoOn) return status;
    if (const int status = FillSimOptions(run); status != kGoOn) return status;

    CSimInstrument sim(run.options);
    std::atomic<bool> lost{false};
    sim.SetEventHandler([&sim, &run, &lost](SimEvent event, const std::string& detail) {
        TellEvent(sim, run, lost, event, detail);
    });
    // Caught before the link exists, so an early signal still removes it.
    CatchSimSignals();
    // The link is made after the line exists, and only where it may be.
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "jvs sim: %s\n", error.c_str());
        return kExitFailed;
    }
    Say(shownAs + " -> " + sim.SlavePath() + " (" + run.family + ", " +
        (run.options.ackNak ? "Ack/Nak" : "None") + ")" +
        (run.options.sendData.has_value() ? ", will send " + run.sendFile : "") +
        (run.receiveFile.empty() ? "" : ", uploads to " + run.receiveFile));
    ServeOperator(sim, run.once);
    sim.Stop();  // removes the link while the line still exists
    return lost ? kExitFailed : kExitDone;
}

const CCommandRegistrar kSim(
    "sim",
    "jvs sim qmx210|qmx610 --port COMn [--link PATH] [--send FILE] [--receive FILE] "
    "[--reply ack|nak|none] [--protocol none|acknak] [--after MS] [--silent-after N] "
    "[--hang-up-after N] [--chunk N --gap MS] [--repeat] [--no-greeting] [--once]",
    &RunSim);

}  // namespace
}  // namespace cli
