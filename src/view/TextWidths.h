// Estimated widths of lines of text in the view, in pixels, never less than
// drawn: they decide whether wrapping is needed.
#pragma once

#include <string_view>
#include <utility>

class QFont;

// The widest any character of a kind can be drawn, so that a line judged
// narrow enough never needs wrapping.
struct CCharWidths {
    int ascii = 0, wide = 0, blob = 0, tab = 0;
    explicit CCharWidths(const QFont& font);
};

// Widest line of a UTF-8 text whose first line continues one already
// `start` wide; also the width of its last line.
std::pair<long long, long long> LineWidths(std::string_view utf8, const CCharWidths& w,
                                           long long start);
