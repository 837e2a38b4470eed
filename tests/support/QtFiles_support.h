// Shorthands the widget tests share: UTF-8 literals as QString, and whole
// files named by a QString path.
#pragma once

#include <QString>
#include <string>

#include "TempCwd_support.h"

inline QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}
inline std::string ReadAll(const QString& path) {
    return ReadFileBytes(path.toStdString());
}
inline void WriteAll(const QString& path, const std::string& bytes) {
    WriteFileBytes(path.toStdString(), bytes);
}
