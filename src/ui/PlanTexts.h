// The plan view's own texts (UTF-8).
#pragma once

namespace plantext {
inline constexpr char kTitle[] = "点位图";
// "TERV210 · 26,567 点"
inline constexpr char kFound[] = "%1 · %2 点";
inline constexpr char kNoCoordinates[] = "没有坐标数据";
inline constexpr char kFit[] = "全图";
inline constexpr char kFitTip[] = "显示全部点位";
inline constexpr char kLabels[] = "标注";
inline constexpr char kLabelNames[] = "点名(&N)";
inline constexpr char kLabelCodes[] = "编码(&C)";
inline constexpr char kLabelHeights[] = "高程(&H)";
inline constexpr char kExport[] = "导出";
inline constexpr char kExportPng[] = "PNG图片(&P)...";
inline constexpr char kExportSvg[] = "SVG图形(&S)...";
inline constexpr char kExportPdf[] = "PDF文档(&D)...";
inline constexpr char kPrint[] = "打印...";
inline constexpr char kLegend[] = "图例";
inline constexpr char kCheck[] = "检查 (%1)";
inline constexpr char kNoCode[] = "(无编码)";
inline constexpr char kOtherCodes[] = "其他 %1 种编码";
inline constexpr char kDuplicate[] = "重复点名";
inline constexpr char kZero[] = "零点 0,0,0";
inline constexpr char kUnplaced[] = "坐标无效";
inline constexpr char kUnread[] = "无法读取";
inline constexpr char kLine[] = "第%1行";
inline constexpr char kName[] = "点名";
inline constexpr char kCode[] = "编码";
inline constexpr char kScale[] = "比例 %1";
inline constexpr char kNorth[] = "N";
inline constexpr char kExportFailed[] = "导出失败!";
inline constexpr char kPrintFailed[] = "打印失败!";
}  // namespace plantext
