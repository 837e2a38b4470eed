// The texts the editing commands show (UTF-8; converted where they enter the view).
#pragma once

namespace edit_text {
inline constexpr char kNoData[] = "没有数据!";
inline constexpr char kNameEmpty[] = "点名为空!";
inline constexpr char kCodeEmpty[] = "编码为空!";
inline constexpr char kInvalidRawData[] = "无效原始数据!";
inline constexpr char kCorrecting[] = "正在校正坐标…";
}  // namespace edit_text
