// Writes geo/UsualGridsKept.inc anew from this machine's PROJ: each usual
// grid's answer as PROJ's search finds it (not a kept one).
//   build/dev/src/geo/jvs_usual_grids_gen > src/geo/UsualGridsKept.inc
#include <cstdio>
#include <string>

#include "geo/GridCrs.h"

int main() {
    std::string table;
    for (const CUsualGrid& g : UsualGrids()) {
        const std::string text = KeptGridText(g.crs);
        if (text.empty()) {
            std::fprintf(stderr, "jvs_usual_grids_gen: %s cannot be kept\n", g.crs.c_str());
            return 1;
        }
        table += text;
    }
    std::printf("R\"jvs(\n%s)jvs\"\n", table.c_str());
    return 0;
}
