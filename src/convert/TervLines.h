// Reading the view text line by line, for every place that takes TERV lists
// apart: the converters, the list editors, the prism correction and the uploads.
#pragma once

#include <cstddef>
#include <string_view>

// Where a line ends. Both ends are two bytes long and are skipped together.
enum class ELineEnd {
    kCrLf,          // a CR LF pair; a lone CR or LF belongs to the line
    kCrOrBeforeLf,  // the instruments' rule: at a CR, or at the byte before an LF
};

// What a last line without its line end is.
enum class ELastLine {
    kLine,     // a line like the others, so nothing typed is lost
    kDropped,  // not a line: the text ends there
};

// Position of the end of the line that begins at pos, or npos when the text
// ends first.
std::size_t FindTervLineEnd(std::string_view text, std::size_t pos,
                            ELineEnd rule = ELineEnd::kCrLf);

class CTervLineReader {
public:
    explicit CTervLineReader(std::string_view text, ELastLine last = ELastLine::kLine,
                             ELineEnd rule = ELineEnd::kCrLf)
        : m_text(text), m_last(last), m_rule(rule) {}

    // The next line without its line end; false at the end of the text. A text
    // that ends with a line end has no empty line after it.
    bool Next(std::string_view& line);
    // 1-based number of the line Next gave, counting blank lines too.
    int LineNumber() const { return m_lineNumber; }
    // Whether that line had its line end.
    bool Terminated() const { return m_terminated; }

private:
    std::string_view m_text;
    ELastLine m_last;
    ELineEnd m_rule;
    std::size_t m_pos = 0;
    int m_lineNumber = 0;
    bool m_terminated = false;
};

// Spaces and tabs only (or nothing).
bool IsBlankLine(std::string_view line);

// The five fields of a TERV line: the first four commas part them and the fifth
// runs to the line end, commas and all. False when the line has fewer than
// four commas (fields then holds what was read).
bool SplitTervFields(std::string_view line, std::string_view (&fields)[5]);
