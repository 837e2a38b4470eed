// The usual grids' answers kept in the program (geo/UsualGridsKept.inc)
// against PROJ's own search: each grid is taken from the table, and every
// point of a lattice over its area of use lands where PROJ's search puts it,
// within a millimetre.
#include <gtest/gtest.h>

#include <cstdlib>

#include "TempCwd_support.h"
#include "geo/GridCrs.h"
#include "geo/ProjApi.h"

TEST(UsualGrids, KeptAnswersAreProjsOwn) {
    CTempCwd cwd;
    setenv("XDG_CACHE_HOME", cwd.Path().c_str(), 1);  // an empty cache folder
    if (!UsualGridsFitThisProj())
        GTEST_SKIP() << "the table was made with another PROJ: jvs_usual_grids_gen writes it anew";
    std::string message;
    const CProjApi* P = ProjApi(&message);
    ASSERT_TRUE(P) << message;
    PJ_CONTEXT* ctx = P->proj_context_create();
    P->proj_log_level(ctx, PJ_LOG_NONE);
    PJ* wgs84 = P->proj_create(ctx, "EPSG:4326");
    for (const CUsualGrid& g : UsualGrids()) {
        SCOPED_TRACE(g.crs);
        const std::unique_ptr<CGridCrs> kept = CGridCrs::Open(g.crs, &message);
        ASSERT_TRUE(kept) << message;
        ASSERT_TRUE(kept->Kept());

        // PROJ's own answer, easting and longitude first.
        PJ* grid = P->proj_create(ctx, g.crs.c_str());
        PJ* found = P->proj_create_crs_to_crs_from_pj(ctx, grid, wgs84, nullptr, nullptr);
        PJ* toLonLat = P->proj_normalize_for_visualization(ctx, found);
        double w, s, e, n;
        ASSERT_TRUE(P->proj_get_area_of_use(ctx, grid, &w, &s, &e, &n, nullptr));
        // A lattice over the area, finer in latitude where regional shifts begin and end.
        std::vector<CSurveyPoint> points;
        for (int i = 0; i <= 8; ++i) {
            for (int j = 0; j <= 60; ++j) {
                const double lon = w + (e - w) * (0.001 + 0.998 * i / 8);
                const double lat = s + (n - s) * (0.001 + 0.998 * j / 60);
                const PJ_COORD c = P->proj_trans(toLonLat, PJ_INV, P->proj_coord(lon, lat, 0, 0));
                CSurveyPoint p;
                p.e = c.xy.x;
                p.n = c.xy.y;
                points.push_back(p);
            }
        }
        std::vector<CLonLat> got;
        CGridFault fault;
        ASSERT_TRUE(kept->ToLonLat(points, got, fault)) << fault.index;
        for (size_t k = 0; k < points.size(); ++k) {
            const PJ_COORD want =
                P->proj_trans(toLonLat, PJ_FWD, P->proj_coord(points[k].e, points[k].n, 0, 0));
            const double mm = 0.001 / 111000;  // degrees
            ASSERT_NEAR(got[k].lon, want.xy.x, mm) << k;
            ASSERT_NEAR(got[k].lat, want.xy.y, mm) << k;
        }
        for (PJ* pj : {grid, found, toLonLat}) P->proj_destroy(pj);
    }
    P->proj_destroy(wgs84);
    P->proj_context_destroy(ctx);
}
