// The settings file ".\jvs_cfg.ini": one section per settings record, keys in
// a fixed order (the load reads the values by position).
#pragma once

#include <cstdint>
#include <string>

#include "config/IniFile.h"
#include "config/LinkSettings.h"

inline constexpr char kSettingsFile[] = ".\\jvs_cfg.ini";
inline constexpr char kComSection[] = "JVSCOMSETTING";
inline constexpr char kUsbSection[] = "JVSUSBSETTING";
inline constexpr char kMsgSaveConfigFailed[] = "保存配置文件失败!";

// Rewrite the whole section from the record (delete, then each key in order).
// False when the file could not be written; the caller shows kMsgSaveConfigFailed.
bool SaveComSettings(const ComSettingsRecord& record);
bool SaveUsbSettings(const UsbSettingsRecord& record);
// The process-wide records.
bool SaveComSettings();
bool SaveUsbSettings();

// Fill the record from the file by position; the number of entries, or 0
// (record untouched) when the file has no sections, more than 10, or lacks the
// section. Only the entries present are read.
int LoadComSettings(CIniFile ini, ComSettingsRecord& record);
int LoadUsbSettings(CIniFile ini, UsbSettingsRecord& record);

// At program start: when the settings file exists in the current directory,
// load both records from it into the process-wide ones. True when it existed.
bool LoadSettingsAtStartup();

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
