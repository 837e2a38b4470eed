// The USB transfers on the console: `jvs download usb`, `jvs upload usb-*` and
// `jvs probe --usb`. Like the serial commands, the operator prompt goes to
// standard error and waits for Enter (end of input counts as Enter; --yes goes
// on at once); the received text or the echo goes to standard output or -o.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/ConsoleScreen.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "config/LinkSettings.h"
#include "link/UsbDevice.h"
#include "link/UsbModelIds.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace cli {
namespace {

constexpr char kDownloadUsage[] =
    "jvs download usb --model qmx640|qmx660 [-o OUTPUT] [--yes] [--usb-timeout S] "
    "[--usb-row-delay MS]";
constexpr char kUploadUsage[] =
    "jvs upload usb-coords|usb-text|usb-features [INPUT] --model qmx640|qmx660 [--yes] "
    "[--usb-timeout S] [--usb-row-delay MS]";
constexpr char kProbeUsage[] =
    "jvs probe --usb                   # lists the USB instruments present: model, bus, address";

int Usage(const std::string& why, const char* usage) {
    std::fprintf(stderr, "jvs: %s\nusage: %s\n", why.c_str(), usage);
    return kExitUsage;
}

struct CUsbArgs {
    const UsbModelRow* model = nullptr;
    bool yes = false;
    std::string output;
    std::vector<std::string> rest;
};

// The USB options; the settings in force (./jvs_cfg.ini or the defaults) with
// --usb-timeout and --usb-row-delay applied for this run only.
int ParseUsbArgs(std::vector<std::string> args, bool withOutput, const char* usage, CUsbArgs& out) {
    LoadSettingsInForce();
    UsbSettingsRecord usb = UsbSettings.Get();
    bool missing = false;
    std::string value;
    if (!TakeOption(args, "--model", value, missing)) return Usage("--model is needed", usage);
    out.model = FindUsbModelByName(value);
    if (!out.model) return Usage("--model: qmx640 or qmx660", usage);
    if (TakeOption(args, "--usb-timeout", value, missing)) {
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(seconds > 0) || seconds > 999)
            return Usage("--usb-timeout: seconds, more than 0 and at most 999", usage);
        usb.USBRevTimeOut = std::max<int32_t>(1, static_cast<int32_t>(std::lround(seconds * 1000)));
    }
    if (TakeOption(args, "--usb-row-delay", value, missing)) {
        char* end = nullptr;
        const long ms = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || ms < 1 || ms > 9999)
            return Usage("--usb-row-delay: milliseconds, 1 to 9999", usage);
        usb.USBRevRowDelay = static_cast<int32_t>(ms);
    }
    out.yes = TakeFlag(args, "--yes");
    if (withOutput &&
        (TakeOption(args, "-o", value, missing) || TakeOption(args, "--output", value, missing)))
        out.output = value;
    if (missing) return Usage("an option needs a value", usage);
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-') return Usage("unknown option '" + a + "'", usage);
    UsbSettings.Set(usb);
    UsbModelIds.Set(out.model->Ids);
    out.rest = std::move(args);
    return kExitDone;
}

// Runs the transfer like the serial ones; a failed Open says why on the
// message's second line, as the window does.
int RunUsb(TransferKind kind, CConsoleScreen& screen, CInterruptWatch& watch, int& signal) {
    return RunOnConsole(kind, screen, watch, signal);
}

int DownloadUsb(const std::vector<std::string>& argv) {
    CUsbArgs args;
    if (const int bad = ParseUsbArgs(argv, true, kDownloadUsage, args)) return bad;
    if (!args.rest.empty())
        return Usage("unexpected argument '" + args.rest[0] + "'", kDownloadUsage);
    CConsoleScreen screen({}, args.yes);
    g_strTransferText.Clear();
    CInterruptWatch watch;  // until the bytes are written
    int signal = 0;
    const int code = RunUsb(TransferKind::UsbDownload, screen, watch, signal);
    if (code < 0) return kExitFailed;
    return HandOverReceived(code, signal, screen, args.output);
}

int UploadUsb(TransferKind kind, const std::vector<std::string>& argv) {
    CUsbArgs args;
    if (const int bad = ParseUsbArgs(argv, false, kUploadUsage, args)) return bad;
    if (args.rest.size() > 1)
        return Usage("unexpected argument '" + args.rest[1] + "'", kUploadUsage);
    std::string text;
    if (!ReadInput(args.rest.empty() ? "-" : args.rest[0], text)) return kExitFailed;
    CConsoleScreen screen(text, args.yes);
    CInterruptWatch watch;
    int signal = 0;
    const int code = RunUsb(kind, screen, watch, signal);
    if (code < 0) return kExitFailed;
    if (signal != 0) return InterruptedStatus(signal);
    if (code == 1)
        return WriteOutputReported({}, g_strTransferText.Get()) ? kExitDone : kExitFailed;
    return screen.Messages() > 0 ? kExitFailed : kExitUnchanged;
}

int ProbeUsb(const std::vector<std::string>& args) {
    if (!args.empty()) return Usage("unexpected argument '" + args[0] + "'", kProbeUsage);
    const std::vector<UsbInstrumentFound> found = g_UsbDevice.List();
    if (found.empty()) {
        PrintMessage(kMsgUsbNotConnected);
        return kExitFailed;
    }
    for (const UsbInstrumentFound& f : found)
        std::printf("%.*s bus %03d address %03d\n", static_cast<int>(f.Model->Name.size()),
                    f.Model->Name.data(), f.Bus, f.Address);
    return std::fflush(stdout) == 0 ? kExitDone : kExitFailed;
}

const CCommandRegistrar kDownloadUsb("download usb", kDownloadUsage, DownloadUsb);
const CCommandRegistrar kUploadUsbCoords("upload usb-coords", kUploadUsage,
                                         [](const std::vector<std::string>& a) {
                                             return UploadUsb(TransferKind::UsbUploadQmx610, a);
                                         });
const CCommandRegistrar kUploadUsbText("upload usb-text", nullptr,
                                       [](const std::vector<std::string>& a) {
                                           return UploadUsb(TransferKind::UsbUploadText, a);
                                       });
const CCommandRegistrar kUploadUsbFeatures("upload usb-features", nullptr,
                                           [](const std::vector<std::string>& a) {
                                               return UploadUsb(TransferKind::UsbUploadFeatureCodes,
                                                                a);
                                           });
const CCommandRegistrar kProbeUsb("probe --usb", kProbeUsage, ProbeUsb);

}  // namespace
}  // namespace cli
