// The choice of a grid's coordinate system for the exports that need longitude
// and latitude: the usual Chinese grids by name, or any EPSG code or PROJ
// string typed in. What is chosen is checked with PROJ before the dialog closes.
#pragma once

#include <QString>
#include <functional>
#include <optional>

class QWidget;

// The definition chosen ("EPSG:4547", a PROJ string), or nothing when cancelled.
// `last` is shown first.
std::optional<QString> AskExportCrs(QWidget* parent, const QString& last);

// Test hook: answers instead of the dialog (nothing: cancelled); an empty
// function restores the dialog.
using CrsChoiceHook = std::function<std::optional<QString>(const QString& last)>;
void SetCrsChoiceHook(CrsChoiceHook hook);

// The dialog's own texts (UTF-8).
namespace crstext {
inline constexpr char kTitle[] = "选择坐标系";
inline constexpr char kPrompt[] =
    "坐标所在的平面坐标系(GeoJSON和KML需要经纬度):\n从列表中选择, 或输入EPSG代码或PROJ字符串。";
inline constexpr char kEmpty[] = "请选择或输入坐标系!";
}  // namespace crstext
