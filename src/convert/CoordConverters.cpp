// Coordinate conversions: QMX210 downloads and JVS measurement data to TERV lists,
// QMX610/710 records to TERV / ZeltaMap lists, and TERV lists to QMX210 blocks.
#include <algorithm>
#include <cstring>

#include "convert/BlockFraming.h"
#include "convert/ConvertMessages.h"
#include "convert/Converters.h"
#include "convert/CoordReaders.h"
#include "convert/FixedRecords.h"
#include "convert/NumberText.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string PointNote(int pointNumber) {
    return "第" + std::to_string(pointNumber) + "个点";
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A number of millimetres (the instrument writes a sign and digits) as metres, "%.3f".
void AppendScaled(std::string& out, std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t start = i;
    long long value = 0;
    while (i < text.size() && IsDigit(text[i]) && i - start < 12)
        value = value * 10 + (text[i++] - '0');
    const bool plain = i == text.size() || !(IsDigit(text[i]) || text[i] == '.');
    if (plain) {
        numtext::AppendMillimetres(out, negative ? -value : value);
    } else {
        numtext::AppendFixed(out, numtext::LeadingNumber(text) / 1000.0, 3);
    }
}

// First position at or after `from` where `tag` stands. Looks for the tag's last
// character, which is rarer in the data than its leading "_".
size_t FindTag(std::string_view text, std::string_view tag, size_t from) {
    const size_t last = tag.size() - 1;
    for (size_t p = from + last; p < text.size();) {
        const void* hit = std::memchr(text.data() + p, tag[last], text.size() - p);
        if (!hit) break;
        p = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
        if (text.compare(p - last, last, tag.substr(0, last)) == 0) return p - last;
        ++p;
    }
    return std::string_view::npos;
}

// The next place of one tag for searches whose start never moves back: the answer
// is kept while it still lies ahead, so a text with many starts and one far tag is
// still read once, not once per start.
class CTagFinder {
public:
    CTagFinder(std::string_view text, std::string_view tag) : m_text(text), m_tag(tag) {}
    size_t Find(size_t from) {
        if (!m_searched || (m_pos != std::string_view::npos && m_pos < from)) {
            m_pos = FindTag(m_text, m_tag, from);
            m_searched = true;
        }
        return m_pos;
    }

private:
    std::string_view m_text, m_tag;
    size_t m_pos = std::string_view::npos;
    bool m_searched = false;
};

std::string_view Slice(std::string_view text, size_t pos, size_t count) {
    if (pos >= text.size()) return {};
    return text.substr(pos, count);
}

// The fields of a record as one TERV line.
void AppendLine(std::string& out, const CCoordFields& f) {
    for (const std::string_view field : {f.name, f.code, f.east, f.north}) {
        out.append(field);
        out.push_back(',');
    }
    out.append(f.height).append(kCrLf);
}

// A fixed-width field's value: its text up to the first space. The line end and
// the end of the text also end it, so a short record never reaches into the next.
std::string_view FixedValue(std::string_view text, size_t tag, CFixedField field) {
    const std::string_view value = Slice(text, tag + field.m_offset, field.m_width);
    const size_t end = value.find_first_of(" \r\n");
    return value.substr(0, end);
}

}  // namespace

bool ReadQmx210Coords(std::string_view text, bool unfinished, const CCoordVisitor& visit) {
    std::string payloadText;
    CPayloadOrigins origins;
    const bool ended = UnframeBlocks(text, payloadText, &origins);
    if (!ended && !unfinished) return false;
    const std::string_view payload = payloadText;
    std::string values;
    for (size_t p = payload.find("_+"); p != std::string_view::npos;) {
        // A record's tags are looked for only up to the next record, so a record
        // without a value never borrows its neighbour's.
        const size_t next = payload.find("_+", p + 2);
        const std::string_view record =
            payload.substr(p, next == std::string_view::npos ? next : next - p);
        const size_t x = record.find("_ x");
        const size_t y = x == std::string_view::npos ? x : record.find("_ y", x);
        const size_t z = y == std::string_view::npos ? y : record.find("_ z", y);
        CCoordFields fields;
        fields.origin = origins.FramedOffset(p);
        if (z == std::string_view::npos) {
            fields.complete = false;
        } else {
            // Still arriving: the height's digits are not all there.
            if (!ended &&
                p + z + kQmx210Coord.m_valueOffset + kQmx210Coord.m_valueWidth > payload.size())
                fields.complete = false;
            const auto value = [&](size_t tag) {
                return Slice(payload, p + tag + kQmx210Coord.m_valueOffset,
                             kQmx210Coord.m_valueWidth);
            };
            // The instrument's x is the north, its y the east.
            values.clear();
            AppendScaled(values, value(y));
            const size_t eastEnd = values.size();
            AppendScaled(values, value(x));
            const size_t northEnd = values.size();
            AppendScaled(values, value(z));
            const std::string_view all = values;
            fields.name = Slice(payload, p + kQmx210Coord.m_nameOffset, kQmx210Coord.m_nameWidth);
            fields.code = fields.name;  // the list repeats the name in its code column
            fields.east = all.substr(0, eastEnd);
            fields.north = all.substr(eastEnd, northEnd - eastEnd);
            fields.height = all.substr(northEnd);
        }
        if (!visit(fields)) break;
        p = next;
    }
    return ended;
}

CConvertResult OnTervCoords210(std::string_view text) {
    if (text.empty()) return CConvertResult::Failed(convert_msg::kNoData);
    if (text[0] != kStx) return CConvertResult::Failed(convert_msg::kBadFileFormat);
    if (text.find("_+") == std::string_view::npos)
        return CConvertResult::Failed(convert_msg::kConvertFailed);
    if (text.find(kCrLf) == std::string_view::npos)
        return CConvertResult::Failed(convert_msg::kBadJvsCoords);
    std::string out, failure;
    out.reserve(text.size() + text.size() / 4);
    int point = 0;
    const bool ended = ReadQmx210Coords(text, false, [&](const CCoordFields& fields) {
        ++point;
        if (!fields.complete) {
            failure = std::string(convert_msg::kConvertFailed) + "\n" + PointNote(point);
            return false;
        }
        AppendLine(out, fields);
        return true;
    });
    if (!ended) return CConvertResult::Unchanged();
    if (!failure.empty()) return CConvertResult::Failed(std::move(failure));
    if (out.empty()) return CConvertResult::Failed(convert_msg::kConvertFailed);
    return CConvertResult::Done(std::move(out));
}

void ReadQmx610Coords(std::string_view text, bool stopAtTextEnd, const CCoordVisitor& visit) {
    for (const CCoordRecordLayout& pass : {k08KiRecord, k02TpRecord, k08TpRecord}) {
        for (size_t t = text.find(pass.m_tag); t != std::string_view::npos;
             t = text.find(pass.m_tag, t + pass.m_next)) {
            CCoordFields fields;
            fields.origin = t;
            fields.name = FixedValue(text, t, pass.m_name);
            fields.code = FixedValue(text, t, pass.m_code);
            // A code "0" is no code.
            if (fields.code == "0") fields.code = {};
            fields.east = FixedValue(text, t, pass.m_east);
            fields.north = FixedValue(text, t, pass.m_north);
            fields.height = FixedValue(text, t, pass.m_height);
            // Cut off: the text ends inside the record's line.
            fields.complete = t + pass.m_length <= text.size() ||
                              text.find_first_of("\r\n", t) != std::string_view::npos;
            if (!visit(fields)) return;
            if (stopAtTextEnd && t + pass.m_length + 2 >= text.size()) return;
        }
    }
}

CConvertResult OnTervCoords610(std::string_view text) {
    if (text.empty()) return CConvertResult::Failed(convert_msg::kNoData);
    std::string out;
    out.reserve(text.size() / 2);
    // The last record of the text ends the whole conversion.
    ReadQmx610Coords(text, true, [&out](const CCoordFields& fields) {
        AppendLine(out, fields);
        return true;
    });
    if (out.empty()) return CConvertResult::Failed(convert_msg::kNoCoordData);
    return CConvertResult::Done(std::move(out));
}

void ReadMeasurement210(std::string_view text, const CCoordVisitor& visit) {
    std::string payloadText;
    CPayloadOrigins origins;
    UnframeMeasurementBlocks(text, payloadText, &origins);
    const std::string_view payload = payloadText;
    constexpr auto npos = std::string_view::npos;

    CTagFinder nextRecord(payload, "_+"), nextU(payload, "_ U"), nextCode(payload, "_*"),
        nextCodeEnd(payload, "_,");
    std::string scaled;
    size_t s = 0;
    for (;;) {
        size_t a = nextRecord.Find(s);
        if (a == npos) break;
        s = a;
        size_t b = nextU.Find(a);
        if (b == npos) break;
        while (b - a >= 16) {  // a "_+" without coordinates
            s += 2;
            a = nextRecord.Find(s);
            if (a == npos) break;
            s = a;
            b = nextU.Find(a);
            if (b == npos) break;
        }
        if (a == npos || b == npos) break;
        const size_t c = nextCode.Find(s);
        if (c == npos) break;
        const size_t d = nextCodeEnd.Find(c + 2);
        if (d == npos) break;
        // A record goes out only whole; a record cut off by the end gives nothing.
        std::string_view values[3];
        size_t v = b + 3;
        for (auto& value : values) {
            size_t end = v + 1;
            while (end < payload.size() && payload[end] != '+' && payload[end] != '-') ++end;
            if (end >= payload.size()) end = npos;
            value = Slice(payload, v, end == npos ? npos : end - v);
            v = end == npos ? payload.size() : end;
        }
        // The first value is the north, the second the east.
        scaled.clear();
        AppendScaled(scaled, values[1]);
        const size_t eastEnd = scaled.size();
        AppendScaled(scaled, values[0]);
        const size_t northEnd = scaled.size();
        AppendScaled(scaled, values[2]);
        const std::string_view all = scaled;
        CCoordFields fields;
        fields.origin = origins.FramedOffset(a);
        fields.name = payload.substr(a + 2, b - a - 2);
        fields.code = payload.substr(c + 2, d - c - 2);
        fields.east = all.substr(0, eastEnd);
        fields.north = all.substr(eastEnd, northEnd - eastEnd);
        fields.height = all.substr(northEnd);
        if (!visit(fields)) return;
        s += 2;
    }
}

CConvertResult OnTervMeasurement210(std::string_view text) {
    if (text.empty()) return CConvertResult::Failed(convert_msg::kNoData);
    if (text[0] != kStx) return CConvertResult::Failed(convert_msg::kBadFileFormat);
    if (text.find("_+") == std::string_view::npos)
        return CConvertResult::Failed(convert_msg::kConvertFailed);
    if (text.find(kCrLf) == std::string_view::npos)
        return CConvertResult::Failed(convert_msg::kBadJvsMeasurement);
    std::string out;
    out.reserve(text.size());
    ReadMeasurement210(text, [&out](const CCoordFields& fields) {
        AppendLine(out, fields);
        return true;
    });
    if (out.empty()) return CConvertResult::Unchanged();
    return CConvertResult::Done(std::move(out));
}

namespace {

// "+%06d%03d" / "-%06d%03d" of a coordinate list value; false when it is not a
// number or its whole metres need more than six digits.
bool EncodeValue(std::string_view text, std::string& out) {
    numtext::CDecimal number;
    if (!numtext::ParseDecimal(text, number)) return false;
    std::string_view whole = number.m_whole;
    while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
    if (whole.size() > 6) return false;
    char field[10];
    field[0] = numtext::IsNegative(number) ? '-' : '+';
    std::memset(field + 1, '0', 9);
    std::copy(whole.begin(), whole.end(), field + 7 - whole.size());
    std::copy_n(number.m_fraction.begin(), std::min<size_t>(3, number.m_fraction.size()),
                field + 7);
    out.append(field, sizeof field);
    return true;
}

}  // namespace

bool BuildCoordBlocks(std::string_view text, std::string& out, std::string* message) {
    // The lines every coordinate upload reads; a count that stops early at a
    // blank line must not decide what goes out.
    std::vector<CTervLine> lines;
    if (!ReadTerv210Upload(text, lines, message)) return false;
    if (lines.empty()) {
        if (message) *message = convert_msg::kBadTerv210;
        return false;
    }
    std::string payload;
    payload.reserve(lines.size() * 51);
    for (const CTervLine& line : lines) {
        const std::string_view name = line.m_fields[0];
        bool ok = name.size() <= kQmx210Coord.m_nameWidth;
        if (ok) {
            payload.append("_+").append(name).append(kQmx210Coord.m_nameWidth - name.size(), ' ');
            payload.append("_ x");
            ok = EncodeValue(line.m_fields[2], payload);
        }
        if (ok) {
            payload.append("_ y");
            ok = EncodeValue(line.m_fields[3], payload);
        }
        if (ok) {
            payload.append("_ z");
            ok = EncodeValue(line.m_fields[4], payload);
        }
        if (!ok) {
            if (message)
                *message =
                    std::string(convert_msg::kBadTerv210) + "\n" + LineNote(line.m_lineNumber);
            return false;
        }
    }
    if (FramedSize(payload.size()) + 1 > kWorkBufferSize) {
        if (message) *message = convert_msg::kOutOfMemory;
        return false;
    }
    FramePayload(payload, out);
    return true;
}

CConvertResult OnShowCoordBlocks210(std::string_view text) {
    if (text.empty()) return CConvertResult::Failed(convert_msg::kNoData);
    std::string out, message;
    if (!BuildCoordBlocks(text, out, &message)) return CConvertResult::Failed(std::move(message));
    return CConvertResult::Done(std::move(out));
}
