// The shell's own texts (UTF-8).
#pragma once

namespace doctext {
inline constexpr char kAppTitle[] = "恒钧全站仪传输软件";
inline constexpr char kUntitled[] = "无标题";
inline constexpr char kWindowTitleSuffix[] = " - Communication";
inline constexpr char kOpenTitle[] = "打开";
inline constexpr char kSaveTitle[] = "保存为";
inline constexpr char kAllFilesFilter[] = "所有文件 (*.*)";
inline constexpr char kSavePrompt[] = "将改动保存到 %1？";
inline constexpr char kInvalidFileName[] = "无效的文件名。";
inline constexpr char kOpenFailed[] = "打开文档失败。";
inline constexpr char kSaveFailed[] = "保存文档失败。";
inline constexpr char kFileTooLarge[] = "该文件太大，无法打开。";
inline constexpr char kFileNotFound[] = "无法找到该文件。\n请验证给出的路径和文件名是否正确。";
inline constexpr char kDiskFull[] = "目的磁盘驱动器已满。";
inline constexpr char kReadShared[] = "无法对 %1 进行读操作，它已经被其他人打开。";
inline constexpr char kWriteReadOnly[] =
    "无法对 %1 进行写操作，因为它是只读文件或已经被其他人打开。";
inline constexpr char kReadUnexpected[] = "在对 %1 进行读操作时发生了一个非预期的错误。";
inline constexpr char kWriteUnexpected[] = "在对 %1 进行写操作时发生了一个非预期的错误。";
// The recent-file list lives in the per-user settings under these names.
inline constexpr char kSettingsOrganisation[] = "Local AppWizard-Generated Applications";
inline constexpr char kRecentGroup[] = "Recent File List";
}  // namespace doctext
