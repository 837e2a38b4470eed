// The points of any coordinate-bearing text the program knows, read through the
// existing readers: what the plan view draws and what the exports write.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The form a text was recognised as; kNone: it carries no coordinates.
enum class ESurveyForm {
    kNone,
    kTerv210,     // name,code,E,N,Z lines
    kTerv810,     // name,E,N,Z,code lines (the list editor's other layout)
    kQmx610,      // 08KI / 02TP / 08TP records
    kQmx210,      // framed QMX210 coordinate download
    kJvsMeasure,  // framed JVS measurement data
};

struct CSurveyPoint {
    std::string name;  // bytes as in the text (code page 936)
    std::string code;  // may be empty
    double e = 0, n = 0, z = 0;
    // Byte offset, in the text that was read, of the start of the line the point
    // came from (for framed forms: of the line holding the point's record), so
    // a view can put its caret there and find the point under its caret.
    size_t lineStart = 0;
};

struct CSurveyPoints {
    ESurveyForm form = ESurveyForm::kNone;
    std::vector<CSurveyPoint> points;
    // Line starts, in text order, of the lines of the form that give no point: a
    // value that is not a number, a record without one of its tags, a record cut
    // off by the end of the text. The exports refuse them by line rather than
    // leave points out unseen.
    std::vector<size_t> unread;
};

// Recognises the form and reads every point; a text with no coordinates gives
// kNone and no points. Never reads past the text; pure and thread-safe.
// Names and codes lose the spaces and tabs around them (the instruments pad
// their fields). The points come in text order. A framed download without its
// end frame (still arriving, or cut off) gives the records there are.
CSurveyPoints ReadSurveyPoints(std::string_view text);

// 1-based number of the line (lines end in CR LF) holding byte `offset`, as the
// messages name lines.
int SurveyLineNumber(std::string_view text, size_t offset);

// The form's name as the program shows it ("TERV210", "TERV810", "QMX610/710",
// "QMX210", "JVS测量数据"); empty for kNone.
std::string_view SurveyFormName(ESurveyForm form);
