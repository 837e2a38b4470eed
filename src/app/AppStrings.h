// The window's own texts (UTF-8).
#pragma once

namespace apptext {
inline constexpr char kCaption[] = "恒钧全站仪传输软件 ";  // the title and one space
inline constexpr char kIdle[] = "就绪";
inline constexpr char kCapsLock[] = "大写";
inline constexpr char kNumLock[] = "数字";
inline constexpr char kScrollLock[] = "滚动";
inline constexpr char kRecentPlaceholder[] = "最近文件";
inline constexpr char kAboutCaption[] = "关于 恒钧全站仪传输软件";
inline constexpr char kAboutVersion[] = "恒钧全站仪传输软件 3.0版";
inline constexpr char kAboutSecondLine[] = "全站仪数据下传、上传、转换与编辑";
inline constexpr char kOk[] = "确定";
// The help pages, under the install prefix's share folder.
inline constexpr char kHelpShareDir[] = "jvs-transfer/help";
inline constexpr char kHelpTitle[] = "恒钧全站仪传输软件 帮助";
inline constexpr char kHelpBack[] = "后退";
inline constexpr char kHelpForward[] = "前进";
inline constexpr char kHelpHome[] = "首页";
inline constexpr char kHelpNotFound[] = "找不到帮助文档!";
inline constexpr char kHelpSearched[] = "已查找: ";
inline constexpr char kHelpPageMissing[] = "帮助页面不存在!";
inline constexpr char kHelpExternalLink[] = "帮助窗口只打开本机的帮助页面:";
inline constexpr char kModelPlaceholder[] = "仪器型号";
inline constexpr char kCommandBarTitle[] = "命令栏";
inline constexpr char kToolBarTitle[] = "工具栏";
inline constexpr char kConverting[] = "正在转换数据…";
inline constexpr char kExportTitle[] = "导出";
inline constexpr char kExported[] = "已导出: ";

inline constexpr char kStopButton[] = "停止";
inline constexpr char kStopButtonTip[] = "停止传输 (Esc)";
inline constexpr char kExitDuringTransfer[] = "传输正在进行，是否停止传输并退出?";
}  // namespace apptext
