#include "config/SettingsFile.h"

#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/SafeFile.h"

namespace {

std::string Dec(long long v) {
    return std::to_string(v);
}

// The keys of each section in the order they are written.
IniEntries ComEntries(const ComSettingsRecord& r) {
    return {{"COMPort", std::string(r.COMPort, strnlen(r.COMPort, sizeof r.COMPort))},
            {"Baudrate", Dec(r.Baudrate)},
            {"CheckBit", Dec(r.CheckBit)},
            {"DataBit", Dec(r.DataBit)},
            {"Protol", Dec(r.Protol)},
            {"ReceiveTimeOut", Dec(r.ReceiveTimeOut)},
            {"RowDelay", Dec(r.RowDelay)},
            {"StopBit", Dec(r.StopBit)}};
}

IniEntries UsbEntries(const UsbSettingsRecord& r) {
    return {{"USBRevRowDelay", Dec(r.USBRevRowDelay)}, {"USBRevTimeOut", Dec(r.USBRevTimeOut)}};
}

// Creates the folders above the file that are missing (the user's
// configuration folder on the first save), private to the user.
void MakeParentFolders(const std::string& file) {
    for (size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1))
        ::mkdir(file.substr(0, slash).c_str(), 0700);
}

// A value exactly as the program writes it: optional sign and digits, nothing else.
std::optional<long long> WholeNumber(const std::string& text) {
    size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
    if (i == text.size() || text.size() > 12) return std::nullopt;
    for (size_t j = i; j < text.size(); ++j)
        if (text[j] < '0' || text[j] > '9') return std::nullopt;
    return std::strtoll(text.c_str(), nullptr, 10);
}

// Reads a section's keys by name; the first of a repeated key counts.
class CSectionValues {
public:
    CSectionValues(const CIniText& text, const char* section, std::vector<std::string>* replaced)
        : m_text(text), m_section(section), m_replaced(replaced) {}

    std::optional<std::string> Find(const char* key) const { return m_text.Find(m_section, key); }
    void Replaced(const char* key) const {
        if (m_replaced) m_replaced->push_back(key);
    }
    // Takes the key's number when `valid` accepts it, else puts back `fallback`.
    template <class T, class Valid>
    void Number(const char* key, T& field, T fallback, Valid valid) const {
        const std::optional<std::string> text = Find(key);
        if (!text) return;
        const auto n = text->empty() ? std::nullopt : WholeNumber(*text);
        if (n && valid(*n)) {
            field = static_cast<T>(*n);
        } else {
            field = fallback;
            Replaced(key);
        }
    }

private:
    const CIniText& m_text;
    const char* m_section;
    std::vector<std::string>* m_replaced;
};

bool InTimeoutRange(long long ms) {
    return ms >= kTimeoutMsMin && ms <= kTimeoutMsMax;
}

bool InRowDelayRange(long long ms) {
    return ms >= kRowDelayMin && ms <= kRowDelayMax;
}

}  // namespace

std::string SettingsFilePath() {
    const char* choice = std::getenv(kSettingsSwitch);
    if (!choice || std::strcmp(choice, "xdg") != 0) return kSettingsFile;
    std::string base;
    // Only absolute locations count, as the desktop's base directory rules say.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') {
            const passwd* user = getpwuid(getuid());
            home = user ? user->pw_dir : nullptr;
        }
        if (home && home[0] == '/') base = std::string(home) + "/.config";
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base.empty()) return kSettingsFile;
    return base + "/" + kSettingsFolderName + "/jvs_cfg.ini";
}

std::string SettingsFileShownPath() {
    std::string file = CIniFile(SettingsFilePath()).FileName();
    if (file.rfind("./", 0) == 0) {
        char* cwd = getcwd(nullptr, 0);
        if (cwd) {
            file = std::string(cwd) + file.substr(1);
            std::free(cwd);
        }
    }
    return file;
}

std::string SettingsErrorDetail(int error) {
    return SettingsFileShownPath() + ": " + IniErrorText(error);
}

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

int SaveSettings(
    const std::function<CSettingsSections(ComSettingsRecord&, UsbSettingsRecord&)>& change) {
    const CIniFile ini(SettingsFilePath());
    MakeParentFolders(ini.FileName());
    return ini.Update([&](CIniText& text) {
        ComSettingsRecord com;
        UsbSettingsRecord usb;
        LoadComSettings(text, com);
        LoadUsbSettings(text, usb);
        const CSettingsSections write = change(com, usb);
        if (write.com) text.ReplaceKeys(kComSection, ComEntries(com));
        if (write.usb) text.ReplaceKeys(kUsbSection, UsbEntries(usb));
        return write.com || write.usb;
    });
}

bool SaveComSettings(const ComSettingsRecord& record, int* error) {
    const int result = SaveSettings([&](ComSettingsRecord& com, UsbSettingsRecord&) {
        com = record;
        return CSettingsSections{true, false};
    });
    if (error) *error = result;
    return result == 0;
}

bool SaveUsbSettings(const UsbSettingsRecord& record, int* error) {
    const int result = SaveSettings([&](ComSettingsRecord&, UsbSettingsRecord& usb) {
        usb = record;
        return CSettingsSections{false, true};
    });
    if (error) *error = result;
    return result == 0;
}

bool SaveComSettings() {
    return SaveComSettings(ComSettings.Get());
}
bool SaveUsbSettings() {
    return SaveUsbSettings(UsbSettings.Get());
}

int LoadComSettings(const CIniText& ini, ComSettingsRecord& r, std::vector<std::string>* replaced) {
    const int count = static_cast<int>(ini.SectionLines(kComSection).size());
    if (count == 0) return 0;
    const CSectionValues v(ini, kComSection, replaced);
    const ComSettingsRecord d;
    if (const auto port = v.Find("COMPort")) {
        const bool valid = IsValidPortName(*port);
        if (!valid) v.Replaced("COMPort");
        std::memset(r.COMPort, 0, sizeof r.COMPort);
        std::snprintf(r.COMPort, sizeof r.COMPort, "%s", valid ? port->c_str() : d.COMPort);
    }
    v.Number("Baudrate", r.Baudrate, d.Baudrate, IsBaudRate);
    v.Number("CheckBit", r.CheckBit, d.CheckBit,
             [](long long n) { return IsChoice(kParityChoices, n); });
    v.Number("DataBit", r.DataBit, d.DataBit,
             [](long long n) { return IsChoice(kDataBitChoices, n); });
    v.Number("Protol", r.Protol, d.Protol,
             [](long long n) { return IsChoice(kProtocolChoices, n); });
    v.Number("ReceiveTimeOut", r.ReceiveTimeOut, d.ReceiveTimeOut, InTimeoutRange);
    v.Number("RowDelay", r.RowDelay, d.RowDelay, InRowDelayRange);
    v.Number("StopBit", r.StopBit, d.StopBit,
             [](long long n) { return IsChoice(kStopBitChoices, n); });
    return count;
}

int LoadUsbSettings(const CIniText& ini, UsbSettingsRecord& r, std::vector<std::string>* replaced) {
    const int count = static_cast<int>(ini.SectionLines(kUsbSection).size());
    if (count == 0) return 0;
    const CSectionValues v(ini, kUsbSection, replaced);
    const UsbSettingsRecord d;
    // 0 is what a USB field holds until its dialog was first confirmed.
    v.Number("USBRevRowDelay", r.USBRevRowDelay, d.USBRevRowDelay,
             [](long long n) { return n == 0 || InRowDelayRange(n); });
    v.Number("USBRevTimeOut", r.USBRevTimeOut, d.USBRevTimeOut,
             [](long long n) { return n == 0 || InTimeoutRange(n); });
    return count;
}

bool LoadSettingsAtStartup(std::vector<std::string>* replaced, int* error) {
    const CIniFile ini(SettingsFilePath());
    CIniText text;
    const int result = ini.Read(text);
    struct stat st {};
    // Nothing there at all: the defaults, as on a first start. A link to
    // nothing is there, and said so.
    if (result == ENOENT && ::lstat(ini.FileName().c_str(), &st) != 0) return false;
    if (error) *error = result;
    if (result != 0) return true;
    ComSettings.Update([&](ComSettingsRecord& r) { LoadComSettings(text, r, replaced); });
    UsbSettings.Update([&](UsbSettingsRecord& r) { LoadUsbSettings(text, r, replaced); });
    return true;
}

bool IsValidPortName(const std::string& name) {
    if (name.empty() || name.size() >= sizeof ComSettingsRecord{}.COMPort) return false;
    if (name[0] == '/') {
        for (unsigned char c : name)
            if (c < 0x20 || c == 0x7f) return false;
        return name.back() != ' ';
    }
    if (name.size() < 4 || name.size() > 5 || name.compare(0, 3, "COM") != 0 || name[3] == '0')
        return false;
    const auto n = WholeNumber(name.substr(3));
    return n && name[3] != '+' && name[3] != '-' && *n >= 1 && *n <= 16;
}

int32_t CheckedTimeoutMs(const std::string& secondsText, const char** message) {
    int seconds = DecimalPrefix(secondsText);
    *message = nullptr;
    if (!InTimeoutRange(seconds * 1000LL)) {
        *message = kMsgTimeoutRange;
        seconds = 10;
    }
    return seconds * 1000;
}

int32_t CheckedRowDelay(const std::string& text, const char** message) {
    int delay = DecimalPrefix(text);
    *message = nullptr;
    if (!InRowDelayRange(delay)) {
        *message = kMsgRowDelayRange;
        delay = kUsbDefaultRowDelayMs;
    }
    return delay;
}
