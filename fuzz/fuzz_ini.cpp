// The INI text and the settings load on arbitrary bytes, in memory: limits are
// kept, nothing is read or written past a buffer, untouched bytes come back
// unchanged, and what a save writes reads back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "config/IniFile.h"
#include "config/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CIniText ini;
    if (ini.Parse(bytes) != 0) return 0;
    if (ini.Bytes() != bytes) std::abort();

    std::vector<std::string> names, keys, values;
    int count = ini.GetSectionNames(names);
    if (count < 1 || static_cast<size_t>(count) != names.size()) std::abort();
    size_t total = 0;
    for (const std::string& n : names) {
        if (n.size() > kIniMaxName) std::abort();
        total += n.size() + 1;
        int entries = ini.GetSectionEntries(n, keys, values);
        if (entries < 1 || keys.size() != values.size()) std::abort();
        for (size_t i = 0; i < keys.size(); ++i)
            if (keys[i].size() + values[i].size() > kIniMaxName) std::abort();
    }
    if (total + 1 > kIniNamesBuffer) std::abort();

    ComSettingsRecord com;
    LoadComSettings(ini, com);
    if (std::memchr(com.COMPort, 0, sizeof com.COMPort) == nullptr) std::abort();
    UsbSettingsRecord usb;
    LoadUsbSettings(ini, usb);

    // A save of what was loaded loads back the same, and a second save changes nothing.
    CIniText saved = ini;
    saved.ReplaceKeys("JVSCOMSETTING", {{"COMPort", com.COMPort}, {"Baudrate", "9600"}});
    saved.ReplaceKeys("JVSUSBSETTING", {{"USBRevTimeOut", "7000"}});
    CIniText again;
    if (again.Parse(saved.Bytes()) != 0) std::abort();
    if (again.Find("jvscomsetting", "comport") != std::string(com.COMPort) ||
        again.Find("JVSCOMSETTING", "Baudrate") != "9600" ||
        again.Find("JVSUSBSETTING", "USBRevTimeOut") != "7000")
        std::abort();
    const std::string once = again.Bytes();
    again.ReplaceKeys("JVSCOMSETTING", {{"COMPort", com.COMPort}, {"Baudrate", "9600"}});
    if (again.Bytes() != once) std::abort();

    saved.SetString("JVSCOMSETTING", "COMPort", "COM7");
    if (saved.Find("jvscomsetting", "comport") != "COM7") std::abort();
    saved.DeleteSection("JVSCOMSETTING");
    if (saved.HasSection("JVSCOMSETTING")) std::abort();
    return 0;
}
