// A point export from a view text: read the points, check them, transform them
// where the format needs longitude and latitude, and write the file. Shared by
// `jvs export` and the window's 文件 → 导出.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "convert/Converters.h"
#include "convert/PointWriters.h"

struct CExportRequest {
    EPointFormat format = EPointFormat::kCsv;
    std::string crs;    // empty: none (GeoJSON and KML refuse)
    bool gbk = false;   // CSV in code page 936
    std::string title;  // KML document name (UTF-8)
};

// "csv", "geojson", "kml", "landxml".
std::optional<EPointFormat> ParsePointFormat(std::string_view name);
// "CSV", "GeoJSON", "KML", "LandXML".
const char* PointFormatName(EPointFormat format);
// File name extension without the dot: "csv", "geojson", "kml", "xml".
const char* PointFormatExtension(EPointFormat format);
// GeoJSON and KML are longitude/latitude: they need the grid's CRS.
bool PointFormatNeedsCrs(EPointFormat format);

// Why the text cannot be exported whatever the format (no coordinates, a line
// of the form that gives no point), or empty: the window asks this before its
// dialogs.
std::string ExportProblem(std::string_view text);

// Done: the file's bytes. Failed: a message (UTF-8) and nothing to write — no
// coordinates, a line of the form that gives no point, no or an unknown CRS,
// a point outside the CRS's area of use (named by line and name).
CConvertResult ExportPoints(std::string_view text, const CExportRequest& request);
