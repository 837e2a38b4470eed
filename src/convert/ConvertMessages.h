// The conversions' own messages (UTF-8). The window and `jvs` show them as they are;
// a refusal may add the offending line or point on a second line.
#pragma once

namespace convert_msg {
inline constexpr char kNoData[] = "没有数据!";
inline constexpr char kOutOfMemory[] = "内存分配失败!";
inline constexpr char kBadFileFormat[] = "文件格式不正确!";
inline constexpr char kConvertFailed[] = "转换失败!";
inline constexpr char kBadJvsCoords[] = "不是有效的JVS坐标格式!";
inline constexpr char kBadJvsMeasurement[] = "不是有效的JVS测量数据格式!";
inline constexpr char kBadRawCodeMarkers[] = "无效原始编码格式!";
inline constexpr char kBadRawCode[] = "不是有效的原始编码格式!";
inline constexpr char kBadPcodeList[] = "不是有效的210 PCODE格式!";
inline constexpr char kBadTerv210[] = "不是有效的TERV210格式!";
inline constexpr char kBadTerv210Dxf[] = "无效TERV210格式!";
inline constexpr char kNoCoordData[] = "没有坐标数据!";
}  // namespace convert_msg
