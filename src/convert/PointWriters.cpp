#include "convert/PointWriters.h"

#include <charconv>
#include <cmath>

#include "convert/ViewCodec.h"

namespace {

// The shortest text without an exponent that reads back as the same double: a
// list's 512.345 stays 512.345 and 3400000 is not written 3.4e+06.
void AppendShortest(std::string& out, double value) {
    if (value == 0) value = 0;  // no "-0"
    char buf[400];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    out.append(buf, ec == std::errc() ? end : buf);
}

// Degrees to nine decimals: about 0.1 mm on the ground.
void AppendDegrees(std::string& out, double value) {
    char buf[48];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 9);
    out.append(buf, ec == std::errc() ? end : buf);
}

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// ---- CSV ----

void AppendCsvField(std::string& out, std::string_view field) {
    bool quote = false;
    for (const char c : field)
        if (c == ',' || c == '"' || IsControl(static_cast<unsigned char>(c))) quote = true;
    if (!quote) {
        out.append(field);
        return;
    }
    out.push_back('"');
    for (const char c : field) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

std::string WriteCsv(const std::vector<CSurveyPoint>& points, bool gbk) {
    std::string out;
    out.reserve(points.size() * 48 + 32);
    const std::string_view header = "点名,编码,E,N,Z\r\n";
    if (gbk) {
        out.append(Utf8ToGbk(header));
    } else {
        out.append("\xEF\xBB\xBF");  // a spreadsheet takes the file as UTF-8 only with it
        out.append(header);
    }
    for (const CSurveyPoint& p : points) {
        AppendCsvField(out, gbk ? std::string_view(p.name) : std::string_view(ExportUtf8(p.name)));
        out.push_back(',');
        AppendCsvField(out, gbk ? std::string_view(p.code) : std::string_view(ExportUtf8(p.code)));
        out.push_back(',');
        AppendShortest(out, p.e);
        out.push_back(',');
        AppendShortest(out, p.n);
        out.push_back(',');
        AppendShortest(out, p.z);
        out.append("\r\n");
    }
    return out;
}

// ---- JSON ----

bool NeedsJsonEscape(std::string_view utf8) {
    for (const char c : utf8)
        if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) return true;
    return false;
}

void AppendJsonString(std::string& out, std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    if (!NeedsJsonEscape(utf8)) {
        out.append(utf8).push_back('"');
        return;
    }
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out.append("\\\"");
                break;
            case '\\':
                out.append("\\\\");
                break;
            case '\n':
                out.append("\\n");
                break;
            case '\r':
                out.append("\\r");
                break;
            case '\t':
                out.append("\\t");
                break;
            default:
                if (c < 0x20) {
                    out.append("\\u00");
                    out.push_back(kHex[c >> 4]);
                    out.push_back(kHex[c & 15]);
                } else {
                    out.push_back(ch);
                }
        }
    }
    out.push_back('"');
}

std::string WriteGeoJson(const std::vector<CSurveyPoint>& points,
                         const std::vector<CLonLat>& lonLat) {
    std::string out;
    out.reserve(points.size() * 140 + 64);
    out.append("{\"type\":\"FeatureCollection\",\"features\":[");
    for (size_t i = 0; i < points.size(); ++i) {
        const CSurveyPoint& p = points[i];
        out.append(i ? ",\n" : "\n");
        out.append("{\"type\":\"Feature\",\"geometry\":{\"type\":\"Point\",\"coordinates\":[");
        AppendDegrees(out, lonLat[i].lon);
        out.push_back(',');
        AppendDegrees(out, lonLat[i].lat);
        out.push_back(',');
        AppendShortest(out, p.z);
        out.append("]},\"properties\":{\"name\":");
        AppendJsonString(out, ExportUtf8(p.name));
        out.append(",\"code\":");
        AppendJsonString(out, ExportUtf8(p.code));
        out.append("}}");
    }
    out.append("\n]}\n");
    return out;
}

// ---- XML ----

// Text fit for element content and attribute values alike.
void AppendXmlText(std::string& out, std::string_view utf8) {
    size_t plain = 0;
    while (plain < utf8.size()) {
        const auto c = static_cast<unsigned char>(utf8[plain]);
        if (c < 0x20 || c == 0x7F || c == '&' || c == '<' || c == '>' || c == '"' || c == '\'')
            break;
        ++plain;
    }
    out.append(utf8.substr(0, plain));
    for (const char ch : utf8.substr(plain)) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '&':
                out.append("&amp;");
                break;
            case '<':
                out.append("&lt;");
                break;
            case '>':
                out.append("&gt;");
                break;
            case '"':
                out.append("&quot;");
                break;
            case '\'':
                out.append("&apos;");
                break;
            case '\t':
                out.append("&#9;");
                break;
            case '\n':
                out.append("&#10;");
                break;
            case '\r':
                out.append("&#13;");
                break;
            case 0x7F:
                out.append("&#127;");
                break;
            default:
                if (c < 0x20) {
                    // Not even a character reference may stand for these in XML 1.0:
                    // show them as the view does, by their control pictures.
                    const char picture[] = {'\xE2', '\x90', static_cast<char>(0x80 + c)};
                    out.append(picture, sizeof picture);
                } else {
                    out.push_back(ch);
                }
        }
    }
}

std::string WriteKml(const std::vector<CSurveyPoint>& points, const std::vector<CLonLat>& lonLat,
                     const std::string& title) {
    std::string out;
    out.reserve(points.size() * 260 + 256);
    out.append(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n<Document>\n<name>");
    AppendXmlText(out, title);
    out.append("</name>\n");
    for (size_t i = 0; i < points.size(); ++i) {
        const CSurveyPoint& p = points[i];
        out.append("<Placemark><name>");
        AppendXmlText(out, ExportUtf8(p.name));
        out.append("</name><ExtendedData><Data name=\"code\"><value>");
        AppendXmlText(out, ExportUtf8(p.code));
        out.append(
            "</value></Data></ExtendedData><Point><altitudeMode>absolute</altitudeMode>"
            "<coordinates>");
        AppendDegrees(out, lonLat[i].lon);
        out.push_back(',');
        AppendDegrees(out, lonLat[i].lat);
        out.push_back(',');
        AppendShortest(out, p.z);
        out.append("</coordinates></Point></Placemark>\n");
    }
    out.append("</Document>\n</kml>\n");
    return out;
}

std::string WriteLandXml(const std::vector<CSurveyPoint>& points,
                         const CPointWriteOptions& options) {
    std::string out;
    out.reserve(points.size() * 80 + 1024);
    out.append(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<LandXML xmlns=\"http://www.landxml.org/schema/LandXML-1.2\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:schemaLocation=\"http://www.landxml.org/schema/LandXML-1.2 "
        "http://www.landxml.org/schema/LandXML-1.2/LandXML-1.2.xsd\" "
        "version=\"1.2\" date=\"");
    AppendXmlText(out, options.date);
    out.append("\" time=\"");
    AppendXmlText(out, options.time);
    out.append(
        "\">\n<Units><Metric linearUnit=\"meter\" areaUnit=\"squareMeter\" "
        "volumeUnit=\"cubicMeter\" "
        "angularUnit=\"decimal degrees\" directionUnit=\"decimal degrees\"/></Units>\n");
    if (!options.crsName.empty() || options.epsg) {
        out.append("<CoordinateSystem");
        if (!options.crsName.empty()) {
            out.append(" name=\"");
            AppendXmlText(out, options.crsName);
            out.push_back('"');
        }
        if (options.epsg)
            out.append(" epsgCode=\"").append(std::to_string(options.epsg)).append("\"");
        out.append("/>\n");
    }
    out.append("<Application name=\"jvs-transfer\" version=\"3.0\"/>\n<CgPoints>\n");
    for (const CSurveyPoint& p : points) {
        out.append("<CgPoint name=\"");
        AppendXmlText(out, ExportUtf8(p.name));
        out.push_back('"');
        if (!p.code.empty()) {
            out.append(" code=\"");
            AppendXmlText(out, ExportUtf8(p.code));
            out.push_back('"');
        }
        // LandXML points are northing, easting, elevation.
        out.push_back('>');
        AppendShortest(out, p.n);
        out.push_back(' ');
        AppendShortest(out, p.e);
        out.push_back(' ');
        AppendShortest(out, p.z);
        out.append("</CgPoint>\n");
    }
    out.append("</CgPoints>\n</LandXML>\n");
    return out;
}

}  // namespace

std::string ExportUtf8(std::string_view gbk) {
    bool ascii = true;
    for (const char c : gbk) ascii &= static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::string(gbk);
    // The view's decoder keeps a byte that is not GBK as U+10FE00 + byte
    // (F4 8F B8..BB xx in UTF-8); a file for other programs gets U+FFFD.
    std::string utf8 = DecodeViewUtf8(gbk);
    if (utf8.find('\xF4') == std::string::npos) return utf8;
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\xF4' && i + 3 < utf8.size() && utf8[i + 1] == '\x8F' &&
            static_cast<unsigned char>(utf8[i + 2]) >= 0xB8 &&
            static_cast<unsigned char>(utf8[i + 2]) <= 0xBB) {
            out.append("\xEF\xBF\xBD");
            i += 3;
            continue;
        }
        out.push_back(utf8[i]);
    }
    return out;
}

std::string WritePoints(EPointFormat format, const std::vector<CSurveyPoint>& points,
                        const CPointWriteOptions& options) {
    static const std::vector<CLonLat> kNone;
    const std::vector<CLonLat>& lonLat =
        options.lonLat && options.lonLat->size() == points.size() ? *options.lonLat : kNone;
    switch (format) {
        case EPointFormat::kCsv:
            return WriteCsv(points, options.gbk);
        case EPointFormat::kGeoJson:
            if (lonLat.size() != points.size()) return {};
            return WriteGeoJson(points, lonLat);
        case EPointFormat::kKml:
            if (lonLat.size() != points.size()) return {};
            return WriteKml(points, lonLat, options.title);
        case EPointFormat::kLandXml:
            return WriteLandXml(points, options);
    }
    return {};
}
