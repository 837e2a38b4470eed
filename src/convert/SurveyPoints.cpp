#include "convert/SurveyPoints.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "convert/BlockFraming.h"
#include "convert/CoordReaders.h"
#include "convert/NumberText.h"
#include "convert/TervLines.h"

namespace {

constexpr auto npos = std::string_view::npos;

std::string_view Trimmed(std::string_view s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == npos) return {};
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A coordinate: a whole decimal number, nothing else; an empty field is none.
bool IsNumber(std::string_view text, numtext::CDecimal& number) {
    if (!numtext::ParseDecimal(text, number)) return false;
    if (number.m_whole.empty() && number.m_fraction.empty()) return false;
    std::string_view whole = number.m_whole;
    while (!whole.empty() && whole[0] == '0') whole.remove_prefix(1);
    return whole.size() <= 15;  // beyond any grid, and beyond a double's digits
}

bool ReadNumber(std::string_view text, double& value) {
    numtext::CDecimal number;
    if (!IsNumber(text, number)) return false;
    // The digits, point and fraction stand together in the text: read them in place.
    const char* begin =
        number.m_whole.empty() ? number.m_fraction.data() - 1 : number.m_whole.data();
    const char* end = number.m_fraction.empty()
                          ? number.m_whole.data() + number.m_whole.size()
                          : number.m_fraction.data() + number.m_fraction.size();
    double magnitude = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, magnitude);
    if (ec != std::errc() || ptr != end) return false;
    value = number.m_negative ? -magnitude : magnitude;
    return std::isfinite(value);
}

bool ReadPoint(std::string_view name, std::string_view code, std::string_view east,
               std::string_view north, std::string_view height, CSurveyPoint& point) {
    if (!ReadNumber(east, point.e) || !ReadNumber(north, point.n) || !ReadNumber(height, point.z))
        return false;
    point.name.assign(Trimmed(name));
    point.code.assign(Trimmed(code));
    return true;
}

// Line starts of ascending offsets, each search starting where the last ended,
// so a text of many records on one line is still read once.
class CLineStarts {
public:
    explicit CLineStarts(std::string_view text) : m_text(text) {}
    size_t Of(size_t offset) {
        if (offset < m_from) {
            m_from = 0;
            m_start = 0;
        }
        for (size_t p = m_text.find("\r\n", m_from); p != npos && p + 2 <= offset;
             p = m_text.find("\r\n", p + 2))
            m_start = p + 2;
        m_from = offset;
        // A CR LF pair reaching into `offset` starts no line before it.
        if (m_from > 0 && m_text[m_from - 1] == '\r') --m_from;
        return m_start;
    }

private:
    std::string_view m_text;
    size_t m_from = 0, m_start = 0;
};

// The records of one of the download readers, in text order.
template <class Read>
CSurveyPoints ReadRecords(std::string_view text, ESurveyForm form, Read read) {
    CSurveyPoints result;
    result.form = form;
    struct CFound {
        size_t origin;
        bool read;
        CSurveyPoint point;
    };
    std::vector<CFound> found;
    read([&](const CCoordFields& f) {
        CFound& one = found.emplace_back();
        one.origin = f.origin;
        // The QMX210 record carries no code: the list repeats the name there.
        const std::string_view code = form == ESurveyForm::kQmx210 ? std::string_view() : f.code;
        one.read = f.complete && ReadPoint(f.name, code, f.east, f.north, f.height, one.point);
        return true;
    });
    std::stable_sort(found.begin(), found.end(),
                     [](const CFound& a, const CFound& b) { return a.origin < b.origin; });
    CLineStarts lines(text);
    result.points.reserve(found.size());
    for (CFound& one : found) {
        const size_t start = lines.Of(one.origin);
        if (one.read) {
            one.point.lineStart = start;
            result.points.push_back(std::move(one.point));
        } else {
            result.unread.push_back(start);
        }
    }
    return result;
}

// A coordinate list in either column order: every line that is not blank is a
// point or unread. Picks the order more lines read in, TERV210 on a tie.
CSurveyPoints ReadTervList(std::string_view text) {
    struct CLine {
        size_t start;
        std::string_view fields[5];
        bool five;
    };
    std::vector<CLine> lines;
    lines.reserve(text.size() / 32 + 16);  // a list line is rarely shorter
    size_t read210 = 0, read810 = 0;
    CTervLineReader reader(text);
    std::string_view line;
    while (reader.Next(line)) {
        if (IsBlankLine(line)) continue;
        CLine& one = lines.emplace_back();
        one.start = static_cast<size_t>(line.data() - text.data());
        one.five = SplitTervFields(line, one.fields) && one.fields[4].find(',') == npos;
        if (!one.five) continue;
        numtext::CDecimal d;
        bool number[5] = {};
        for (int i = 1; i < 5; ++i) number[i] = IsNumber(one.fields[i], d);
        read210 += number[2] && number[3] && number[4];
        read810 += number[1] && number[2] && number[3];
    }
    CSurveyPoints result;
    if (read210 == 0 && read810 == 0) return result;
    const bool order210 = read210 >= read810;
    result.form = order210 ? ESurveyForm::kTerv210 : ESurveyForm::kTerv810;
    result.points.reserve(order210 ? read210 : read810);
    for (const CLine& one : lines) {
        CSurveyPoint point;
        const auto& f = one.fields;
        const bool ok = one.five && (order210 ? ReadPoint(f[0], f[1], f[2], f[3], f[4], point)
                                              : ReadPoint(f[0], f[4], f[1], f[2], f[3], point));
        if (ok) {
            point.lineStart = one.start;
            result.points.push_back(std::move(point));
        } else {
            result.unread.push_back(one.start);
        }
    }
    return result;
}

bool HasQmx610Tags(std::string_view text) {
    for (const std::string_view tag : {"08KI", "02TP", "08TP"})
        if (text.find(tag) != npos) return true;
    return false;
}

}  // namespace

CSurveyPoints ReadSurveyPoints(std::string_view text) {
    if (text.empty()) return {};
    // Framed data: what the conversions of the two framed forms accept.
    if (text[0] == kStx) {
        if (text.find("_+") == npos || text.find("\r\n") == npos) return {};
        const bool coords = text.find("_ x") != npos;
        CSurveyPoints points =
            coords ? ReadRecords(text, ESurveyForm::kQmx210,
                                 [&](const CCoordVisitor& v) { ReadQmx210Coords(text, true, v); })
                   : ReadRecords(text, ESurveyForm::kJvsMeasure,
                                 [&](const CCoordVisitor& v) { ReadMeasurement210(text, v); });
        if (points.points.empty() && points.unread.empty()) return {};
        return points;
    }
    CSurveyPoints list = ReadTervList(text);
    if (!list.points.empty() && list.points.size() >= list.unread.size()) return list;
    if (HasQmx610Tags(text)) {
        CSurveyPoints records =
            ReadRecords(text, ESurveyForm::kQmx610,
                        [&](const CCoordVisitor& v) { ReadQmx610Coords(text, false, v); });
        if (!records.points.empty() || list.points.empty()) return records;
    }
    return list;
}

int SurveyLineNumber(std::string_view text, size_t offset) {
    offset = std::min(offset, text.size());
    int line = 1;
    for (size_t p = text.find("\r\n"); p != npos && p + 2 <= offset; p = text.find("\r\n", p + 2))
        ++line;
    return line;
}

std::string_view SurveyFormName(ESurveyForm form) {
    switch (form) {
        case ESurveyForm::kTerv210:
            return "TERV210";
        case ESurveyForm::kTerv810:
            return "TERV810";
        case ESurveyForm::kQmx610:
            return "QMX610/710";
        case ESurveyForm::kQmx210:
            return "QMX210";
        case ESurveyForm::kJvsMeasure:
            return "JVS测量数据";
        case ESurveyForm::kNone:
            break;
    }
    return {};
}
