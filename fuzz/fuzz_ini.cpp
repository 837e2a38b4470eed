// The INI accessor and the settings load on arbitrary files: limits are kept,
// nothing is read or written past a buffer, and a written value reads back.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "config/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "/tmp/jvs-fuzz-ini-" + std::to_string(getpid()) + ".ini";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    CIniFile ini(path);
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

    char small[8];
    ini.ReadStringInto("JVSCOMSETTING", "COMPort", "x", small, sizeof small);
    if (std::memchr(small, 0, sizeof small) == nullptr) std::abort();

    if (ini.WriteString("JVSCOMSETTING", "COMPort", "COM7", true) == 0 &&
        ini.ReadString("jvscomsetting", "comport") != "COM7")
        std::abort();
    if (ini.DeleteSection("JVSCOMSETTING") == 0 &&
        !ini.ReadString("JVSCOMSETTING", "COMPort").empty())
        std::abort();
    return 0;
}
