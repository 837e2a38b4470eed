// Writes geo/UsualGridsKept.inc anew from this machine's PROJ: each usual
// grid's answer as PROJ's search finds it (not a kept one). The file is
// replaced whole, and only when every grid could be kept.
//   build/dev/src/geo/jvs_usual_grids_gen src/geo/UsualGridsKept.inc
#include <cstdio>
#include <string>

#include "base/SafeFile.h"
#include "geo/GridCrs.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: jvs_usual_grids_gen FILE\n");
        return 2;
    }
    std::string table = "R\"jvs(\n";
    for (const CUsualGrid& g : UsualGrids()) {
        const std::string text = KeptGridText(g.crs);
        if (text.empty()) {
            std::fprintf(stderr, "jvs_usual_grids_gen: %s cannot be kept\n", g.crs.c_str());
            return 1;
        }
        table += text;
    }
    if (const int error = ReplaceFile(argv[1], table + ")jvs\"\n")) {
        std::fprintf(stderr, "jvs_usual_grids_gen: %s: %s\n", argv[1],
                     FileErrorText(error).c_str());
        return 1;
    }
    return 0;
}
