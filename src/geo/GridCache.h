// The operation cache of the grid coordinate systems: what PROJ answered for a
// grid, kept in a file per definition and in the table of the usual grids.
// Internal to geo/.
#pragma once

#include <string>
#include <vector>

struct CProjApi;

// One of the operations PROJ chooses between point by point: its pipeline,
// the box its area of use covers in the grid (easting, northing), its
// accuracy in metres (-1: unknown), and what PROJ weighs when boxes overlap.
struct COperation {
    std::string pipeline;
    double minE = 0, minN = 0, maxE = 0, maxN = 0;
    double accuracy = -1;
    bool offshore = false, needsGrids = false;
};

struct CCachedGrid {
    std::string name, areaName;
    int epsg = 0;
    bool hasArea = false;
    double w = 0, s = 0, e = 0, n = 0;
    std::vector<COperation> ops;  // one: a single pipeline for every point
};

// $XDG_CACHE_HOME/jvs-transfer, or ~/.cache/jvs-transfer; empty without either.
std::string CacheFolder();
std::string CacheKey(const CProjApi* P, const std::string& definition);
std::string CachePath(const std::string& folder, const std::string& key);
bool LoadCache(const std::string& path, const std::string& key, CCachedGrid& grid);
bool FromUsualGrids(const std::string& key, CCachedGrid& grid);
std::string KeptText(const std::string& key, const CCachedGrid& grid);
void SaveCache(const std::string& folder, const std::string& path, const std::string& key,
               const CCachedGrid& grid);
