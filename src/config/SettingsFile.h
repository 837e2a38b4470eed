// The settings file "jvs_cfg.ini": one section per settings record. Saving
// writes the section's keys in a fixed order; loading takes them by name and
// puts back the default of any value the settings dialogs could never produce.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "config/LinkSettings.h"

inline constexpr char kSettingsFile[] = ".\\jvs_cfg.ini";
inline constexpr char kComSection[] = "JVSCOMSETTING";
inline constexpr char kUsbSection[] = "JVSUSBSETTING";
inline constexpr char kMsgSaveConfigFailed[] = "保存配置文件失败!";
// The window's start-up message when a loaded value was replaced; the keys
// follow on a second line.
inline constexpr char kMsgSettingsReplaced[] = "配置文件中的参数无效,已改用默认值!";

// The environment switch the desktop launcher sets: with JVS_SETTINGS=xdg the
// file lives in $XDG_CONFIG_HOME/jvs-transfer (default ~/.config/jvs-transfer),
// otherwise in the current directory.
inline constexpr char kSettingsSwitch[] = "JVS_SETTINGS";
inline constexpr char kSettingsFolderName[] = "jvs-transfer";

// The settings file in force, as a CIniFile path (kSettingsFile, or an
// absolute path in the user's configuration folder).
std::string SettingsFilePath();
// The same as a path on this system, absolute, for messages.
std::string SettingsFileShownPath();

// Rewrite the whole section from the record in one replace of the file, keeping
// every other line; a missing folder of the settings file is created first.
// False when the file could not be written (error: the code, for
// SettingsErrorDetail); the caller shows kMsgSaveConfigFailed.
bool SaveComSettings(const ComSettingsRecord& record, int* error = nullptr);
bool SaveUsbSettings(const UsbSettingsRecord& record, int* error = nullptr);
// The process-wide records.
bool SaveComSettings();
bool SaveUsbSettings();
// "<file>: <reason>" for a failed save.
std::string SettingsErrorDetail(int error);

// Fill the record from the section, each key by name (without regard to case,
// whatever its place and whatever lines stand between). Returns the number of
// the section's entries, or 0 (record untouched) when the file has no sections,
// more than 10, or lacks the section. Keys not there keep the record's value; a
// value the dialogs could not have written gets the record's default, and its
// key is added to `replaced`.
int LoadComSettings(CIniFile ini, ComSettingsRecord& record,
                    std::vector<std::string>* replaced = nullptr);
int LoadUsbSettings(CIniFile ini, UsbSettingsRecord& record,
                    std::vector<std::string>* replaced = nullptr);

// At program start: when the settings file in force exists, load both records
// from it into the process-wide ones. True when it existed; `replaced` gets
// the keys whose values were put back to their defaults.
bool LoadSettingsAtStartup(std::vector<std::string>* replaced = nullptr);

// The settings dialogs' checks of the two number fields, shared with
// `jvs config set`: the value to store, and the message to show (nullptr when
// the text was fine). Out of range: time-out 10 s, row delay 800 ms.
inline constexpr char kMsgTimeoutRange[] = "请输入1到999的整数!";
inline constexpr char kMsgRowDelayRange[] = "请输入正的整数!";
int32_t CheckedTimeoutMs(const std::string& secondsText, const char** message);
int32_t CheckedRowDelay(const std::string& text, const char** message);

// The decimal prefix of a text: leading blanks, optional sign, digits up to
// the first other character; no digits give 0. Saturates at the int range.
int DecimalPrefix(const std::string& text);
