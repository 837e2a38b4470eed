// The point exports as bytes: CSV, GeoJSON, KML and LandXML 1.2. Pure writers:
// the points come from ReadSurveyPoints, longitude and latitude (where the
// format needs them) from the caller's coordinate transformation.
//
// Names and codes are code page 936 bytes. Every format but the code page 936
// CSV gets them as UTF-8, where a byte that is not valid GBK becomes U+FFFD
// (one per byte, so the damage stays visible). Each format escapes what it
// must: CSV quotes a field holding a comma, quote, CR, LF or control byte;
// JSON escapes quotes, backslashes and every control byte (\u0001); XML
// writes entities, and a control byte XML 1.0 cannot hold at all is written
// as its Unicode control picture (STX as U+2402), tab, CR and LF as character
// references.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/SurveyPoints.h"

enum class EPointFormat { kCsv, kGeoJson, kKml, kLandXml };

struct CLonLat {
    double lon = 0, lat = 0;  // WGS 84 degrees
};

struct CPointWriteOptions {
    bool gbk = false;                      // CSV only: code page 936 instead of UTF-8 with BOM
    const std::vector<CLonLat>* lonLat{};  // GeoJSON and KML: one per point
    std::string crsName;                   // LandXML: the grid's name (UTF-8), empty: none
    int epsg = 0;                          // LandXML: the grid's EPSG code, 0: none
    std::string title;                     // KML: the document's name (UTF-8)
    std::string date = "1970-01-01";       // LandXML: when the file was made (local time)
    std::string time = "00:00:00";
};

// The whole file. GeoJSON and KML need `lonLat` with one entry per point.
std::string WritePoints(EPointFormat format, const std::vector<CSurveyPoint>& points,
                        const CPointWriteOptions& options);

// A name or code for a UTF-8 file: valid GBK decoded, each other byte U+FFFD.
std::string ExportUtf8(std::string_view gbk);
