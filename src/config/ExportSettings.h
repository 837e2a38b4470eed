// What the exports remember between runs: the last coordinate system chosen,
// in a section of its own of the settings file.
#pragma once

#include <string>

inline constexpr char kExportSection[] = "JVSEXPORT";
inline constexpr char kExportCrsKey[] = "CRS";

// The last CRS as given (EPSG:4547, a PROJ string), empty when none was saved.
std::string LoadLastExportCrs();
// Remembers it; a definition over several lines is kept on one. False when the
// settings file could not be written.
bool SaveLastExportCrs(const std::string& crs);
