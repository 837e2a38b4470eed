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

#include "base/SafeFile.h"
#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/LineOptions.h"
#include "cli/SimLink.h"
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

int RunSim(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    LoadSettingsInForce();
    ComSettingsRecord line = ComSettings.Get();
    CLineParse parse = ParseLineOptions(args, line, LineCheck::Transfer);
    if (!parse.ok) return Usage(parse.usageError);

    CSimOptions options;
    options.ackNak = ProtocolOf(line) == LineProtocol::AckNak;
    std::string value, link, sendFile, receiveFile, reply;
    bool missing = false;
    long long number = 0;
    if (TakeOption(args, "--link", value, missing)) link = value;
    if (TakeOption(args, "--send", value, missing)) sendFile = value;
    if (TakeOption(args, "--receive", value, missing)) receiveFile = value;
    if (TakeOption(args, "--reply", value, missing)) reply = value;
    struct NumberOption {
        const char* name;
        long long* target;
    };
    long long after = -1, silentAfter = -1, hangUpAfter = -1, chunk = 0, gap = 0;
    for (NumberOption o : {NumberOption{"--after", &after},
                           {"--silent-after", &silentAfter},
                           {"--hang-up-after", &hangUpAfter},
                           {"--chunk", &chunk},
                           {"--gap", &gap}}) {
        if (!TakeOption(args, o.name, value, missing)) continue;
        if (!ParseCount(value, number)) return Usage(std::string(o.name) + ": a whole number");
        *o.target = number;
    }
    const bool once = TakeFlag(args, "--once");
    options.repeat = TakeFlag(args, "--repeat");
    // Like every download, an upload it stores is bounded.
    options.keepLimit = kDownloadLimit;
    const bool noGreeting = TakeFlag(args, "--no-greeting");
    if (missing) return Usage("an option needs a value");
    if (args.size() != 1 || (args[0] != "qmx210" && args[0] != "qmx610"))
        return Usage("give the family: qmx210 or qmx610");
    options.family = args[0] == "qmx210" ? SimFamily::Qmx210 : SimFamily::Qmx610;

    const std::string port(line.COMPort);
    if (link.empty()) {
        const char* dir = std::getenv("JVS_COM_DIR");
        if (!dir || !*dir)
            return Usage("set JVS_COM_DIR to a directory for the port links, or give --link PATH");
        if (port.rfind("COM", 0) != 0 || port.find('/') != std::string::npos)
            return Usage("--port: a name such as COM3");
        link = std::string(dir) + "/" + port;
    }
    // The link is made here, after the line exists, and only where it may be.
    options.linkPath.clear();

    if (!sendFile.empty()) {
        std::string bytes;
        if (!ReadInput(sendFile, bytes)) return kExitFailed;
        options.sendData = std::move(bytes);
    }
    if (!reply.empty()) {
        std::string bytes;
        if (reply == "ack")
            bytes = "\x06\r\n";
        else if (reply == "nak")
            bytes = "\x15\r\n";
        else if (reply != "none")
            return Usage("--reply: ack, nak or none");
        options.reply = [bytes](int, const std::string&) { return bytes; };
    }
    options.afterMs = static_cast<int>(std::min<long long>(after, 24LL * 3600 * 1000));
    options.silentAfter = silentAfter;
    options.hangUpAfter = hangUpAfter;
    options.chunkSize = static_cast<size_t>(chunk);
    options.chunkGapMs = static_cast<int>(std::min<long long>(gap, 60000));
    options.answerGreeting = !noGreeting;

    CSimInstrument sim(options);
    const bool hasSend = options.sendData.has_value();
    const int afterMs = options.afterMs;
    // An upload that could not be stored (whole) makes the run a failure.
    std::atomic<bool> lost{false};
    sim.SetEventHandler(
        [&sim, &lost, receiveFile, hasSend, afterMs](SimEvent event, const std::string& detail) {
            switch (event) {
                case SimEvent::PortOpened:
                    Say("the PC opened the port");
                    if (hasSend && afterMs < 0) Say("press Enter here to start sending");
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
                case SimEvent::TransferAborted: {
                    if (event == SimEvent::TransferAborted && detail != "upload") {
                        Say("the PC closed the port in the middle of the download");
                        break;
                    }
                    const std::string data = sim.Received();
                    std::string what =
                        event == SimEvent::UploadComplete ? "upload received" : "upload cut short";
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
                    break;
                }
                case SimEvent::HungUp:
                    Say("hung up the line");
                    break;
            }
        });
    // Caught before the link exists, so an early signal still removes it.
    g_bSimInterrupted = false;
    struct sigaction action {};
    action.sa_handler = OnSimSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "jvs sim: %s\n", error.c_str());
        return kExitFailed;
    }
    if (!MakeSimLink(link, sim.SlavePath(), error)) {
        sim.Stop();
        std::fprintf(stderr, "jvs sim: %s\n", error.c_str());
        return kExitFailed;
    }
    Say(port + " -> " + sim.SlavePath() + " (" + args[0] + ", " +
        (options.ackNak ? "Ack/Nak" : "None") + ")" + (hasSend ? ", will send " + sendFile : "") +
        (receiveFile.empty() ? "" : ", uploads to " + receiveFile));

    // The simulator's own operator: each Enter on standard input is the
    // instrument's Enter key. The short poll only watches for the signal.
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
                if (buf[i] == '\n') sim.Trigger();
        }
    }
    RemoveSimLink(link, sim.SlavePath());
    sim.Stop();
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
