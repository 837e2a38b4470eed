// `jvs config [show]` and `jvs config set ...`: the settings file on the
// console, checked exactly as the settings dialogs check their fields.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/LineOptions.h"
#include "config/SettingsFile.h"
#include "link/PortNames.h"

namespace cli {
namespace {

bool Show(bool fileThere) {
    const ComSettingsRecord c = ComSettings.Get();
    const UsbSettingsRecord u = UsbSettings.Get();
    // Comment lines first, so every other line stays one Key=value.
    std::printf("# file: %s\n", SettingsFileShownPath().c_str());
    if (!fileThere) std::printf("# (no such file yet: the defaults are in force)\n");
    std::printf("COMPort=%s\n", c.COMPort);
    std::printf("Baudrate=%d\n", c.Baudrate);
    std::printf("CheckBit=%d\n", c.CheckBit);
    std::printf("DataBit=%d\n", c.DataBit);
    std::printf("Protol=%d\n", c.Protol);
    std::printf("ReceiveTimeOut=%d\n", c.ReceiveTimeOut);
    std::printf("RowDelay=%d\n", c.RowDelay);
    std::printf("StopBit=%d\n", c.StopBit);
    std::printf("USBRevRowDelay=%d\n", u.USBRevRowDelay);
    std::printf("USBRevTimeOut=%d\n", u.USBRevTimeOut);
    return FlushStandardOutput();
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "jvs config: %s\n", why.c_str());
    return kExitUsage;
}

bool Given(const std::vector<std::string>& args, const std::string& name) {
    for (const std::string& a : args)
        if (a == name || a.rfind(name + "=", 0) == 0) return true;
    return false;
}

const char* const kOptions[] = {"--port",        "--baud",         "--data-bits", "--parity",
                                "--stop-bits",   "--protocol",     "--timeout",   "--row-delay",
                                "--usb-timeout", "--usb-row-delay"};

// The dialog checks a number field on every OK, also one left as it was.
template <class Check>
void CheckUnchanged(int32_t& field, int32_t scale, Check check, std::vector<std::string>& into) {
    const char* message = nullptr;
    field = check(std::to_string(field / scale), &message);
    if (message) into.push_back(message);
}

// A device path is refused when something that is no serial device is
// there; a device not plugged in yet (rfcomm0 before its bind) is taken.
bool RefusedDevice(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return false;
    const std::string problem = DevicePathProblem(path);
    if (problem.empty()) return false;
    PrintMessage(kMsgNotSerialDevice);
    PrintMessage(path + ": " + problem);
    return true;
}

struct CUsbOptions {
    bool timeoutGiven = false, rowDelayGiven = false;
    std::string timeout, rowDelay;
};

// As the USB dialog checks: a value given is checked, one not given is
// checked as it stands in the file.
void ApplyUsbOptions(const CUsbOptions& options, UsbSettingsRecord& usb,
                     std::vector<std::string>& messages) {
    const char* message = nullptr;
    if (options.timeoutGiven) {
        usb.USBRevTimeOut = CheckedTimeoutMs(options.timeout, &message);
        if (message) messages.push_back(message);
    } else {
        CheckUnchanged(usb.USBRevTimeOut, 1000, CheckedTimeoutMs, messages);
    }
    if (options.rowDelayGiven) {
        usb.USBRevRowDelay = CheckedRowDelay(options.rowDelay, &message);
        if (message) messages.push_back(message);
    } else {
        CheckUnchanged(usb.USBRevRowDelay, 1, CheckedRowDelay, messages);
    }
}

int Set(const std::vector<std::string>& args) {
    // An option followed by nothing or by another option, or given as
    // "--name=", has no value.
    for (size_t i = 0; i < args.size(); ++i) {
        for (const std::string name : kOptions) {
            const bool bare =
                args[i] == name && (i + 1 == args.size() || args[i + 1].rfind("--", 0) == 0);
            if (bare || args[i] == name + "=") return Usage(name + " needs a value");
        }
    }
    // The whole command line is checked before anything is written.
    std::vector<std::string> rest = args;
    ComSettingsRecord scratch;
    const CLineParse parse = ParseLineOptions(rest, scratch, LineCheck::Dialog);
    if (!parse.ok) return Usage(parse.usageError);
    if (Given(args, "--port") && scratch.COMPort[0] == '/' && RefusedDevice(scratch.COMPort))
        return kExitFailed;
    CUsbOptions usbOptions;
    bool missing = false;
    usbOptions.timeoutGiven = TakeOption(rest, "--usb-timeout", usbOptions.timeout, missing);
    usbOptions.rowDelayGiven = TakeOption(rest, "--usb-row-delay", usbOptions.rowDelay, missing);
    if (missing) return Usage("an option needs a value");
    if (!rest.empty()) return Usage("unexpected argument '" + rest.front() + "'");
    const bool comGiven = parse.anyGiven;
    const bool usbGiven = usbOptions.timeoutGiven || usbOptions.rowDelayGiven;
    if (!comGiven && !usbGiven) return kExitUnchanged;

    // The options go onto the settings as the file holds them when the save
    // takes its lock, so a change another program saved meanwhile stays.
    std::vector<std::string> messages;
    ComSettingsRecord savedCom;
    UsbSettingsRecord savedUsb;
    bool applied = false;
    auto apply = [&](ComSettingsRecord& com, UsbSettingsRecord& usb) {
        applied = true;
        messages.clear();
        if (comGiven) {
            std::vector<std::string> again = args;
            messages = ParseLineOptions(again, com, LineCheck::Dialog).messages;
            if (!Given(args, "--timeout")) {
                std::vector<std::string> first;
                CheckUnchanged(com.ReceiveTimeOut, 1000, CheckedTimeoutMs, first);
                messages.insert(messages.begin(), first.begin(), first.end());
            }
            if (!Given(args, "--row-delay"))
                CheckUnchanged(com.RowDelay, 1, CheckedRowDelay, messages);
        }
        if (usbGiven) ApplyUsbOptions(usbOptions, usb, messages);
        savedCom = com;
        savedUsb = usb;
        return CSettingsSections{comGiven, usbGiven};
    };
    const int error = SaveSettings(apply);
    // A file that could not even be read: the dialog's messages all the same.
    if (!applied) {
        ComSettingsRecord com = ComSettings.Get();
        UsbSettingsRecord usb = UsbSettings.Get();
        apply(com, usb);
    }

    // As in the dialog: the messages, then the replacement values are stored.
    for (const std::string& m : messages) PrintMessage(m);
    if (error != 0) {
        PrintMessage(kMsgSaveConfigFailed);
        PrintMessage(SettingsErrorDetail(error));
        return kExitFailed;
    }
    if (comGiven) ComSettings.Set(savedCom);
    if (usbGiven) UsbSettings.Set(savedUsb);
    return messages.empty() ? kExitDone : kExitFailed;
}

int RunConfig(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    const bool fileThere = LoadSettingsInForce();
    if (args.empty() || (args.size() == 1 && args[0] == "show"))
        return Show(fileThere) ? kExitDone : kExitFailed;
    if (args[0] == "set") {
        args.erase(args.begin());
        return Set(args);
    }
    return Usage("unknown action '" + args[0] + "' (show or set)");
}

const CCommandRegistrar kConfig(
    "config",
    "jvs config [show] | jvs config set [line options] [--usb-timeout S] [--usb-row-delay MS]",
    &RunConfig);

}  // namespace
}  // namespace cli
