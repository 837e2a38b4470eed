// The settings file "jvs_cfg.ini": one section per settings record. Saving
// writes the section's keys in a fixed order; loading takes them by name and
// puts back the default of any value the settings dialogs could never produce.
#pragma once

#include <cstdint>
#include <functional>
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

// The window's start-up message when the file could not be read or decoded;
// "<file>: <reason>" follows on a second line.
inline constexpr char kMsgSettingsUnreadable[] = "无法读取配置文件,已改用默认值!";

// Which sections a save writes.
struct CSettingsSections {
    bool com = false;
    bool usb = false;
};

// Saves under the file's lock: `change` gets both records as the file holds
// them at that moment (loaded as at start-up over the defaults), edits them
// and says which sections to write; they are written in one replace of the
// file, keeping every other line, or not at all. A missing folder of the
// settings file is created first. 0, or an error code for SettingsErrorDetail
// (the caller shows kMsgSaveConfigFailed).
int SaveSettings(
    const std::function<CSettingsSections(ComSettingsRecord&, UsbSettingsRecord&)>& change);
// The section of one record. False when the file could not be written.
bool SaveComSettings(const ComSettingsRecord& record, int* error = nullptr);
bool SaveUsbSettings(const UsbSettingsRecord& record, int* error = nullptr);
// The process-wide records.
bool SaveComSettings();
bool SaveUsbSettings();
// "<file>: <reason>" for a failed save or load.
std::string SettingsErrorDetail(int error);

// Fill the record from the section, each key by name (without regard to case,
// whatever its place and whatever lines stand between). Returns the number of
// the section's lines that are not blank, or 0 (record untouched) when the
// text lacks the section. Keys not there keep the record's value; a value the
// dialogs could not have written gets the record's default, and its key is
// added to `replaced`.
int LoadComSettings(const CIniText& ini, ComSettingsRecord& record,
                    std::vector<std::string>* replaced = nullptr);
int LoadUsbSettings(const CIniText& ini, UsbSettingsRecord& record,
                    std::vector<std::string>* replaced = nullptr);

// At program start: when something is at the settings file's place, load both
// records from it into the process-wide ones and return true. `replaced` gets
// the keys whose values were put back to their defaults; `error` the reason a
// file that is there could not be read or decoded (the defaults stay).
bool LoadSettingsAtStartup(std::vector<std::string>* replaced = nullptr, int* error = nullptr);

// A port name the settings can hold: COM1 to COM16, or a device path (a name
// beginning with "/") that fits the field, without control characters or
// blanks at its ends.
bool IsValidPortName(const std::string& name);

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
