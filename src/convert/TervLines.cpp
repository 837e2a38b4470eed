#include "convert/TervLines.h"

#include <algorithm>

std::size_t FindTervLineEnd(std::string_view text, std::size_t pos, ELineEnd rule) {
    if (rule == ELineEnd::kCrLf) return text.find("\r\n", pos);
    const std::size_t size = text.size();
    for (std::size_t i = pos; i < size; ++i)
        if (text[i] == '\r' || (i + 1 < size && text[i + 1] == '\n')) return i;
    return std::string_view::npos;
}

bool CTervLineReader::Next(std::string_view& line) {
    if (m_pos >= m_text.size()) return false;
    const std::size_t end = FindTervLineEnd(m_text, m_pos, m_rule);
    m_terminated = end != std::string_view::npos;
    if (!m_terminated && m_last == ELastLine::kDropped) {
        m_pos = m_text.size();
        return false;
    }
    line = m_text.substr(m_pos, m_terminated ? end - m_pos : std::string_view::npos);
    m_pos = m_terminated ? std::min(m_text.size(), end + 2) : m_text.size();
    ++m_lineNumber;
    return true;
}

bool IsBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t") == std::string_view::npos;
}

bool SplitTervFields(std::string_view line, std::string_view (&fields)[5]) {
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) return false;
        fields[i] = line.substr(start, comma - start);
        start = comma + 1;
    }
    fields[4] = line.substr(start);
    return true;
}
