// The coordinate system of a survey grid, through PROJ: its name, its area of
// use, and grid easting/northing to WGS 84 longitude/latitude. PROJ's database
// and transformations do the geodesy; nothing here computes a projection.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "convert/PointWriters.h"
#include "convert/SurveyPoints.h"

// A grid offered by name in the window: label (UTF-8) and what PROJ takes.
struct CUsualGrid {
    std::string label;
    std::string crs;  // "EPSG:4547"
};
// CGCS2000 3-degree zones (by central meridian and by zone number), CGCS2000
// 6-degree zones, Beijing 1954 and Xian 1980 3-degree zones, east to west.
const std::vector<CUsualGrid>& UsualGrids();
// Whether the program's table of usual grids was made with this PROJ release
// and database (otherwise every grid is searched for, then cached).
bool UsualGridsFitThisProj();

// A grid's entry for src/geo/UsualGridsKept.inc as this machine's PROJ finds
// it; empty when its answer cannot be kept.
std::string KeptGridText(std::string_view definition);

struct CGridFault {
    size_t index = 0;      // the point
    bool outside = false;  // outside the area of use (else PROJ could not transform it)
    double lon = 0, lat = 0;
};

class CGridCrs {
public:
    // Anything PROJ takes for a projected CRS: "EPSG:4547", "4547", a PROJ
    // string ("+proj=tmerc ..."), WKT. Null with the message (UTF-8) when PROJ
    // does not know it or it is not a grid.
    static std::unique_ptr<CGridCrs> Open(std::string_view definition, std::string* message);
    // The same, always searching PROJ's database (`useKept` false).
    static std::unique_ptr<CGridCrs> Open(std::string_view definition, std::string* message,
                                          bool useKept);
    ~CGridCrs();
    CGridCrs(const CGridCrs&) = delete;
    CGridCrs& operator=(const CGridCrs&) = delete;

    const std::string& Name() const { return m_name; }
    int Epsg() const { return m_epsg; }  // 0: none
    // "name (112.5°E–115.5°E, 21.52°N–45.45°N)", empty when PROJ gives none.
    const std::string& AreaText() const { return m_area; }

    // Every point to longitude/latitude. False at the first point PROJ cannot
    // transform or that lies outside the area of use; for a CRS without one, at
    // the first that does not come back to its grid place within 1 mm.
    bool ToLonLat(const std::vector<CSurveyPoint>& points, std::vector<CLonLat>& out,
                  CGridFault& fault) const;

    // The operation came from the cache folder or the program's table of
    // usual grids, not from a search of PROJ's database.
    bool Kept() const;
    // What a search found, as the cache folder keeps it; empty otherwise.
    std::string KeptText() const;

private:
    struct CImpl;
    void KeepIfSame(const std::vector<CSurveyPoint>& points,
                    const std::vector<CLonLat>& lonLat) const;
    explicit CGridCrs(std::unique_ptr<CImpl> impl);
    std::unique_ptr<CImpl> m_impl;
    std::string m_name, m_area;
    int m_epsg = 0;
    bool m_hasArea = false;
    double m_west = 0, m_south = 0, m_east = 0, m_north = 0;
};
