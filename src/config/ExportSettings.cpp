#include "config/ExportSettings.h"

#include <sys/stat.h>

#include "config/IniFile.h"
#include "config/SettingsFile.h"

std::string LoadLastExportCrs() {
    return CIniFile(SettingsFilePath()).ReadString(kExportSection, kExportCrsKey);
}

bool SaveLastExportCrs(const std::string& crs) {
    std::string line = crs;
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    // The settings file's folder may not be there yet (the user's configuration
    // folder before the first save).
    const std::string shown = SettingsFileShownPath();
    const size_t slash = shown.rfind('/');
    if (slash != std::string::npos && slash > 0) mkdir(shown.substr(0, slash).c_str(), 0755);
    return CIniFile(SettingsFilePath()).WriteString(kExportSection, kExportCrsKey, line, true) == 0;
}
