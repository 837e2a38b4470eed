// `jvs export csv|geojson|kml|landxml [INPUT] [-o OUTPUT] [--crs CRS] [--encoding utf8|gbk]`:
// the window's point exports on files, through the conversions' input and output.
#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/ConvertOps.h"
#include "geo/PointExport.h"

namespace cli {
namespace {

CConvertOpResult Export(EPointFormat format, std::string_view input,
                        const ConvertOptions& options) {
    CExportRequest request;
    request.format = format;
    if (const auto crs = options.find("crs"); crs != options.end()) request.crs = crs->second;
    if (const auto encoding = options.find("encoding"); encoding != options.end()) {
        if (encoding->second != "utf8" && encoding->second != "gbk") {
            std::fprintf(stderr, "jvs export: --encoding takes utf8 or gbk\n");
            return {kExitUsage, {}, {}};
        }
        request.gbk = encoding->second == "gbk";
    }
    request.title = "点位";
    CConvertResult result = ExportPoints(input, request);
    if (!result.IsDone()) return {kExitFailed, {}, std::move(result.m_message)};
    return {kExitDone, std::move(result.m_text), {}};
}

template <EPointFormat F>
CConvertOpResult ExportAs(std::string_view input, const ConvertOptions& options) {
    return Export(F, input, options);
}

const CConvertOpRegistrar kCsv("csv", ExportAs<EPointFormat::kCsv>, {"encoding"}, "export");
const CConvertOpRegistrar kGeoJson("geojson", ExportAs<EPointFormat::kGeoJson>, {"crs"}, "export");
const CConvertOpRegistrar kKml("kml", ExportAs<EPointFormat::kKml>, {"crs"}, "export");
const CConvertOpRegistrar kLandXml("landxml", ExportAs<EPointFormat::kLandXml>, {"crs"}, "export");

int RunExport(const std::vector<std::string>& args) {
    return RunFileOperation("export", args);
}

const CCommandRegistrar kExport(
    "export",
    "jvs export FORMAT [INPUT] [-o OUTPUT] [--crs EPSG:NNNN|PROJSTRING] [--encoding utf8|gbk]"
    "   (FORMAT: csv, geojson, kml, landxml; --crs for geojson, kml (needed) and landxml, "
    "--encoding for csv)",
    RunExport);

}  // namespace
}  // namespace cli
