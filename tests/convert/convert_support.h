// Helpers shared by the conversion tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "convert/BlockFraming.h"
#include "convert/Converters.h"

inline std::string Frame(const std::string& payload) {
    std::string out;
    FramePayload(payload, out);
    return out;
}

inline std::string Pad(std::string s, size_t width) {
    s.resize(width, ' ');
    return s;
}

// A QMX610/710 record: tag, name and 16-character fields, with CR LF.
inline std::string Record(const std::string& tag, const std::string& name,
                          std::initializer_list<std::string> fields) {
    std::string line = tag + "  " + Pad(name, 14);
    for (const std::string& f : fields) line += Pad(f, 16);
    return line + "\r\n";
}

// A QMX210 coordinate record: name, x, y and z with their signs.
inline std::string Coord210(const std::string& name, const char* x, const char* y, const char* z) {
    return "_+" + Pad(name, 10) + "_ x" + x + "_ y" + y + "_ z" + z;
}

inline void ExpectFailure(const CConvertResult& result, const std::string& message) {
    EXPECT_EQ(result.m_kind, CConvertResult::EKind::kFailed);
    EXPECT_EQ(result.m_message, message);
    EXPECT_TRUE(result.m_text.empty());
}
