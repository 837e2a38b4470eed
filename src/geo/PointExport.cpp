#include "geo/PointExport.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "convert/ConvertMessages.h"
#include "convert/SurveyPoints.h"
#include "geo/GridCrs.h"

namespace {

constexpr const char kBadPoint[] = "不是有效的坐标!";
constexpr const char kOutside[] = "点位超出坐标系的适用范围!";
constexpr const char kTransformFailed[] = "坐标转换失败!";

struct CFormatInfo {
    EPointFormat format;
    const char *key, *name, *extension;
};
constexpr CFormatInfo kFormats[] = {
    {EPointFormat::kCsv, "csv", "CSV", "csv"},
    {EPointFormat::kGeoJson, "geojson", "GeoJSON", "geojson"},
    {EPointFormat::kKml, "kml", "KML", "kml"},
    {EPointFormat::kLandXml, "landxml", "LandXML", "xml"},
};

const CFormatInfo& Info(EPointFormat format) {
    for (const CFormatInfo& info : kFormats)
        if (info.format == format) return info;
    return kFormats[0];
}

// A name in a message: control bytes shown by their pictures, so a hostile
// name cannot drive the terminal.
std::string Shown(std::string_view gbk) {
    std::string out;
    for (const char ch : ExportUtf8(gbk)) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20) {
            const char picture[] = {'\xE2', '\x90', static_cast<char>(0x80 + c)};
            out.append(picture, sizeof picture);
        } else if (c == 0x7F) {
            out.append("\xE2\x90\xA1");
        } else {
            out.push_back(ch);
        }
    }
    return out;
}

std::string PointNote(std::string_view text, const CSurveyPoint& point) {
    return "第" + std::to_string(SurveyLineNumber(text, point.lineStart)) + "行 点" +
           Shown(point.name);
}

void LocalNow(CPointWriteOptions& options) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!localtime_r(&now, &local)) return;
    char date[16], time[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    options.date = date;
    options.time = time;
}

}  // namespace

std::optional<EPointFormat> ParsePointFormat(std::string_view name) {
    for (const CFormatInfo& info : kFormats)
        if (name == info.key) return info.format;
    return std::nullopt;
}

const char* PointFormatName(EPointFormat format) {
    return Info(format).name;
}

const char* PointFormatExtension(EPointFormat format) {
    return Info(format).extension;
}

bool PointFormatNeedsCrs(EPointFormat format) {
    return format == EPointFormat::kGeoJson || format == EPointFormat::kKml;
}

namespace {

std::string Problem(std::string_view text, const CSurveyPoints& read) {
    if (read.form == ESurveyForm::kNone) return convert_msg::kNoCoordData;
    // A point left out unseen is worse than no file.
    if (!read.unread.empty())
        return std::string(kBadPoint) + "\n" +
               LineNote(SurveyLineNumber(text, read.unread.front()));
    return {};
}

}  // namespace

std::string ExportProblem(std::string_view text) {
    return Problem(text, ReadSurveyPoints(text));
}

CConvertResult ExportPoints(std::string_view text, const CExportRequest& request) {
    const CSurveyPoints read = ReadSurveyPoints(text);
    if (std::string problem = Problem(text, read); !problem.empty())
        return CConvertResult::Failed(std::move(problem));

    const bool needsCrs = PointFormatNeedsCrs(request.format);
    if (needsCrs && request.crs.find_first_not_of(" \t") == std::string::npos)
        return CConvertResult::Failed(std::string("导出") + PointFormatName(request.format) +
                                      "需要指定坐标系(例如 EPSG:4547)!");
    CPointWriteOptions options;
    options.gbk = request.gbk && request.format == EPointFormat::kCsv;
    options.title = request.title;
    LocalNow(options);
    std::vector<CLonLat> lonLat;
    if (request.crs.find_first_not_of(" \t") != std::string::npos) {
        std::string message;
        const std::unique_ptr<CGridCrs> crs = CGridCrs::Open(request.crs, &message);
        if (!crs) return CConvertResult::Failed(std::move(message));
        // Also for LandXML, which names the grid: a point outside it is a wrong grid.
        CGridFault fault;
        if (!crs->ToLonLat(read.points, lonLat, fault)) {
            const CSurveyPoint& p = read.points[fault.index];
            std::string note = std::string(fault.outside ? kOutside : kTransformFailed) + "\n" +
                               PointNote(text, p);
            if (fault.outside && !crs->AreaText().empty())
                note += "\n" + crs->Name() + ": " + crs->AreaText();
            return CConvertResult::Failed(std::move(note));
        }
        options.crsName = crs->Name();
        options.epsg = crs->Epsg();
        if (needsCrs) options.lonLat = &lonLat;
    }
    return CConvertResult::Done(WritePoints(request.format, read.points, options));
}
