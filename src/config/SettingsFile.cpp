#include "config/SettingsFile.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string Dec(long long v) {
    return std::to_string(v);
}

bool WriteAll(const CIniFile& ini, const char* section,
              const std::vector<std::pair<const char*, std::string>>& entries) {
    bool ok = ini.DeleteSection(section) == 0;
    for (const auto& [key, value] : entries)
        ok = ini.WriteString(section, key, value, true) == 0 && ok;
    return ok;
}

// The entries of the section, or none when the load must not happen.
bool ReadSection(const CIniFile& ini, const char* section, std::vector<std::string>& values) {
    std::vector<std::string> names;
    int count = ini.GetSectionNames(names);
    if (count > 10 || count == 0) return false;
    bool found = false;
    for (const std::string& n : names) found = found || n == section;
    if (!found) return false;
    std::vector<std::string> keys;
    ini.GetSectionEntries(section, keys, values);
    // An empty section reads back as one empty entry: that is not a value.
    if (values.size() == 1 && keys[0].empty() && values[0].empty()) values.clear();
    return !values.empty();
}

int8_t Low8(int v) {
    return static_cast<int8_t>(static_cast<uint8_t>(v & 0xFF));
}

}  // namespace

int DecimalPrefix(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
                               text[i] == '\r' || text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long v = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        v = v * 10 + (text[i++] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) v = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    return static_cast<int>(v);
}

bool SaveComSettings(const ComSettingsRecord& r) {
    std::string port(r.COMPort, strnlen(r.COMPort, sizeof r.COMPort));
    return WriteAll(CIniFile(kSettingsFile), kComSection,
                    {{"COMPort", port},
                     {"Baudrate", Dec(r.Baudrate)},
                     {"CheckBit", Dec(r.CheckBit)},
                     {"DataBit", Dec(r.DataBit)},
                     {"Protol", Dec(r.Protol)},
                     {"ReceiveTimeOut", Dec(r.ReceiveTimeOut)},
                     {"RowDelay", Dec(r.RowDelay)},
                     {"StopBit", Dec(r.StopBit)}});
}

bool SaveUsbSettings(const UsbSettingsRecord& r) {
    return WriteAll(
        CIniFile(kSettingsFile), kUsbSection,
        {{"USBRevRowDelay", Dec(r.USBRevRowDelay)}, {"USBRevTimeOut", Dec(r.USBRevTimeOut)}});
}

bool SaveComSettings() {
    return SaveComSettings(ComSettings.Get());
}
bool SaveUsbSettings() {
    return SaveUsbSettings(UsbSettings.Get());
}

int LoadComSettings(CIniFile ini, ComSettingsRecord& r) {
    std::vector<std::string> v;
    if (!ReadSection(ini, kComSection, v)) return 0;
    const size_t n = v.size();
    if (n > 0) {
        std::memset(r.COMPort, 0, sizeof r.COMPort);
        v[0].copy(r.COMPort, std::min(v[0].size(), sizeof r.COMPort - 1));
    }
    if (n > 1) r.Baudrate = DecimalPrefix(v[1]);
    if (n > 2) r.CheckBit = Low8(DecimalPrefix(v[2]));
    if (n > 3) r.DataBit = Low8(DecimalPrefix(v[3]));
    if (n > 4) r.Protol = Low8(DecimalPrefix(v[4]));
    if (n > 5) r.ReceiveTimeOut = DecimalPrefix(v[5]);
    if (n > 6) r.RowDelay = DecimalPrefix(v[6]);
    if (n > 7) r.StopBit = Low8(DecimalPrefix(v[7]));
    return static_cast<int>(n);
}

int LoadUsbSettings(CIniFile ini, UsbSettingsRecord& r) {
    std::vector<std::string> v;
    if (!ReadSection(ini, kUsbSection, v)) return 0;
    if (v.size() > 0) r.USBRevRowDelay = DecimalPrefix(v[0]);
    if (v.size() > 1) r.USBRevTimeOut = DecimalPrefix(v[1]);
    return static_cast<int>(v.size());
}

bool LoadSettingsAtStartup() {
    CIniFile ini(kSettingsFile);
    struct stat st {};
    if (stat(ini.FileName().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    ComSettings.Update([&](ComSettingsRecord& r) { LoadComSettings(ini, r); });
    UsbSettings.Update([&](UsbSettingsRecord& r) { LoadUsbSettings(ini, r); });
    return true;
}

int32_t CheckedTimeoutMs(const std::string& secondsText, const char** message) {
    int seconds = DecimalPrefix(secondsText);
    *message = nullptr;
    if (seconds < 1 || seconds > 999) {
        *message = kMsgTimeoutRange;
        seconds = 10;
    }
    return seconds * 1000;
}

int32_t CheckedRowDelay(const std::string& text, const char** message) {
    int delay = DecimalPrefix(text);
    *message = nullptr;
    if (delay < 1 || delay > 9999) {
        *message = kMsgRowDelayRange;
        delay = 800;
    }
    return delay;
}
