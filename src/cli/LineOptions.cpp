#include "cli/LineOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>

#include "cli/CliCommand.h"
#include "config/SettingsFile.h"

namespace cli {

namespace {

bool ParseInt(const std::string& text, long long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return false;
    out = v;
    return true;
}

}  // namespace

bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value,
                bool& missingValue) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == name) {
            if (i + 1 >= args.size()) {
                missingValue = true;
                args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
                return false;
            }
            value = args[i + 1];
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                       args.begin() + static_cast<std::ptrdiff_t>(i + 2));
            return true;
        }
        if (a.size() > name.size() && a.compare(0, name.size(), name) == 0 &&
            a[name.size()] == '=') {
            value = a.substr(name.size() + 1);
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
            return true;
        }
    }
    return false;
}

bool LoadSettingsInForce() {
    ResetLinkSettings();
    std::vector<std::string> replaced;
    int error = 0;
    const bool found = LoadSettingsAtStartup(&replaced, &error);
    if (error != 0)
        PrintMessage("jvs: warning: " + SettingsErrorDetail(error) + "; the defaults are used");
    if (!replaced.empty()) {
        std::string keys;
        for (const std::string& key : replaced) keys += (keys.empty() ? "" : ", ") + key;
        PrintMessage("jvs: warning: " + SettingsFileShownPath() + ": " + keys +
                     (replaced.size() == 1 ? " is" : " are") +
                     " not a value the settings can hold; the default is used");
    }
    return found;
}

namespace {

// "none, odd or even"
std::string ChoiceList(std::span<const CLinkChoice> choices) {
    std::string list;
    for (size_t i = 0; i < choices.size(); ++i)
        list += (i == 0                    ? ""
                 : i + 1 == choices.size() ? " or "
                                           : ", ") +
                std::string(choices[i].option);
    return list;
}

// The first wrong option is the one reported.
void Fail(CLineParse& result, const std::string& why) {
    if (result.ok) {
        result.ok = false;
        result.usageError = why;
    }
}

struct CLineOption;
using ApplyFn = void (*)(const CLineOption& option, const std::string& value,
                         ComSettingsRecord& record, LineCheck check, CLineParse& result);

// One line option: its name, what it does with its value and, for the
// options that name one of a few choices, those choices and the field.
struct CLineOption {
    const char* name;
    ApplyFn apply;
    std::span<const CLinkChoice> choices = {};
    int8_t ComSettingsRecord::*field = nullptr;
};

void ApplyPort(const CLineOption&, const std::string& v, ComSettingsRecord& record, LineCheck check,
               CLineParse& result) {
    // What is saved must load back as it is.
    if (check == LineCheck::Dialog ? !IsValidPortName(v)
                                   : v.empty() || v.size() >= sizeof record.COMPort)
        Fail(result, "--port: a port name COM1 to COM16, or a device path");
    else
        std::snprintf(record.COMPort, sizeof record.COMPort, "%s", v.c_str());
}

void ApplyBaud(const CLineOption&, const std::string& v, ComSettingsRecord& record, LineCheck,
               CLineParse& result) {
    long long n = 0;
    if (ParseInt(v, n) && IsBaudRate(n)) {
        record.Baudrate = static_cast<int32_t>(n);
        return;
    }
    std::string rates;
    for (const int32_t r : kBaudRates) rates += ' ' + std::to_string(r);
    Fail(result, "--baud: one of" + rates);
}

void ApplyChoice(const CLineOption& option, const std::string& v, ComSettingsRecord& record,
                 LineCheck, CLineParse& result) {
    const auto chosen = std::find_if(option.choices.begin(), option.choices.end(),
                                     [&](const CLinkChoice& c) { return v == c.option; });
    if (chosen != option.choices.end())
        record.*option.field = chosen->code;
    else
        Fail(result, std::string(option.name) + ": " + ChoiceList(option.choices));
}

void ApplyTimeout(const CLineOption&, const std::string& v, ComSettingsRecord& record,
                  LineCheck check, CLineParse& result) {
    if (check == LineCheck::Dialog) {
        const char* message = nullptr;
        record.ReceiveTimeOut = CheckedTimeoutMs(v, &message);
        if (message) result.messages.push_back(message);
        return;
    }
    char* end = nullptr;
    double seconds = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !(seconds > 0) || seconds > 999)
        Fail(result, "--timeout: seconds, more than 0 and at most 999");
    else
        record.ReceiveTimeOut =
            std::max<int32_t>(1, static_cast<int32_t>(std::lround(seconds * 1000)));
}

void ApplyRowDelay(const CLineOption&, const std::string& v, ComSettingsRecord& record,
                   LineCheck check, CLineParse& result) {
    if (check == LineCheck::Dialog) {
        const char* message = nullptr;
        record.RowDelay = CheckedRowDelay(v, &message);
        if (message) result.messages.push_back(message);
        return;
    }
    long long n = 0;
    if (!ParseInt(v, n) || n < 0 || n > 9999)
        Fail(result, "--row-delay: milliseconds, 0 to 9999");
    else
        record.RowDelay = static_cast<int32_t>(n);
}

// In the order they are checked (the first wrong one is reported).
const CLineOption kLineOptions[] = {
    {"--port", ApplyPort},
    {"--baud", ApplyBaud},
    {"--data-bits", ApplyChoice, kDataBitChoices, &ComSettingsRecord::DataBit},
    {"--parity", ApplyChoice, kParityChoices, &ComSettingsRecord::CheckBit},
    {"--stop-bits", ApplyChoice, kStopBitChoices, &ComSettingsRecord::StopBit},
    {"--protocol", ApplyChoice, kProtocolChoices, &ComSettingsRecord::Protol},
    {"--timeout", ApplyTimeout},
    {"--row-delay", ApplyRowDelay},
};

}  // namespace

CLineParse ParseLineOptions(std::vector<std::string>& args, ComSettingsRecord& record,
                            LineCheck check) {
    CLineParse result;
    for (const CLineOption& option : kLineOptions) {
        std::string value;
        bool missing = false;
        const bool found = TakeOption(args, option.name, value, missing);
        if (missing) Fail(result, std::string(option.name) + " needs a value");
        if (!found) continue;
        result.anyGiven = true;
        option.apply(option, value, record, check, result);
    }
    return result;
}

}  // namespace cli
