// `jvs config [show]` and `jvs config set ...`: the settings file on the
// console, checked exactly as the settings dialogs check their fields.
#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/LineOptions.h"
#include "config/SettingsFile.h"

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

int Set(std::vector<std::string> args) {
    ComSettingsRecord com = ComSettings.Get();
    UsbSettingsRecord usb = UsbSettings.Get();
    // The dialog checks both number fields on every OK, also the ones left as
    // they were: a field not given is checked with its current value.
    bool comGiven = false;
    for (const char* name : {"--port", "--baud", "--data-bits", "--parity", "--stop-bits",
                             "--protocol", "--timeout", "--row-delay"})
        comGiven = comGiven || Given(args, name);
    if (comGiven && !Given(args, "--timeout"))
        args.push_back("--timeout=" + std::to_string(com.ReceiveTimeOut / 1000));
    if (comGiven && !Given(args, "--row-delay"))
        args.push_back("--row-delay=" + std::to_string(com.RowDelay));
    const bool usbAny = Given(args, "--usb-timeout") || Given(args, "--usb-row-delay");
    if (usbAny && !Given(args, "--usb-timeout"))
        args.push_back("--usb-timeout=" + std::to_string(usb.USBRevTimeOut / 1000));
    if (usbAny && !Given(args, "--usb-row-delay"))
        args.push_back("--usb-row-delay=" + std::to_string(usb.USBRevRowDelay));

    CLineParse parse = ParseLineOptions(args, com, LineCheck::Dialog);
    if (!parse.ok) return Usage(parse.usageError);

    std::vector<std::string> messages = parse.messages;
    bool usbGiven = false;
    std::string value;
    bool missing = false;
    if (TakeOption(args, "--usb-timeout", value, missing)) {
        const char* message = nullptr;
        usb.USBRevTimeOut = CheckedTimeoutMs(value, &message);
        if (message) messages.push_back(message);
        usbGiven = true;
    }
    if (TakeOption(args, "--usb-row-delay", value, missing)) {
        const char* message = nullptr;
        usb.USBRevRowDelay = CheckedRowDelay(value, &message);
        if (message) messages.push_back(message);
        usbGiven = true;
    }
    if (missing) return Usage("an option needs a value");
    if (!args.empty()) return Usage("unexpected argument '" + args.front() + "'");
    if (!parse.anyGiven && !usbGiven) return kExitUnchanged;

    // As in the dialog: the messages, then the replacement values are stored.
    for (const std::string& m : messages) PrintMessage(m);
    int error = 0;
    if (parse.anyGiven) {
        ComSettings.Set(com);
        SaveComSettings(com, &error);
    }
    if (usbGiven && error == 0) {
        UsbSettings.Set(usb);
        SaveUsbSettings(usb, &error);
    }
    if (error != 0) {
        PrintMessage(kMsgSaveConfigFailed);
        PrintMessage(SettingsErrorDetail(error));
        return kExitFailed;
    }
    return messages.empty() ? kExitDone : kExitFailed;
}

int RunConfig(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = arguments;
    const bool fileThere = LoadSettingsInForce();
    if (args.empty() || (args.size() == 1 && args[0] == "show"))
        return Show(fileThere) ? kExitDone : kExitFailed;
    if (args[0] == "set") {
        args.erase(args.begin());
        return Set(std::move(args));
    }
    return Usage("unknown action '" + args[0] + "' (show or set)");
}

const CCommandRegistrar kConfig(
    "config",
    "jvs config [show] | jvs config set [line options] [--usb-timeout S] [--usb-row-delay MS]",
    &RunConfig);

}  // namespace
}  // namespace cli
