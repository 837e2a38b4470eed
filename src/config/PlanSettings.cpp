#include "config/PlanSettings.h"

#include <sys/stat.h>

#include <string>

#include "config/IniFile.h"
#include "config/SettingsFile.h"

namespace {
constexpr char kVisibleKey[] = "Visible";
constexpr char kLabelsKey[] = "Labels";
}  // namespace

PlanSettingsRecord LoadPlanSettings() {
    PlanSettingsRecord record;
    const CIniFile ini(SettingsFilePath());
    const std::string visible = ini.ReadString(kPlanSection, kVisibleKey);
    if (visible == "0" || visible == "1") record.Visible = visible == "1";
    const std::string labels = ini.ReadString(kPlanSection, kLabelsKey);
    if (labels.size() == 1 && labels[0] >= '0' && labels[0] <= '7') record.Labels = labels[0] - '0';
    return record;
}

int SavePlanSettings(const PlanSettingsRecord& record) {
    const CIniFile ini(SettingsFilePath());
    // The user's configuration folder may not be there before the first save.
    const std::string file = ini.FileName();
    for (size_t slash = file.find('/', 1); slash != std::string::npos;
         slash = file.find('/', slash + 1))
        ::mkdir(file.substr(0, slash).c_str(), 0700);
    // One locked read-edit-replace: the other sections and lines stay.
    return ini.Update([&](CIniText& text) {
        text.ReplaceKeys(kPlanSection, {{kVisibleKey, record.Visible ? "1" : "0"},
                                        {kLabelsKey, std::to_string(record.Labels)}});
        return true;
    });
}
