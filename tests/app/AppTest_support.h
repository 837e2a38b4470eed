// What the window's tests share: the program started as a test wants it
// (settings and working folder in a temporary place, no splash, no pause)
// and files written and read back byte for byte.
#pragma once

#include <QString>
#include <memory>
#include <string>

class CCommunicationApp;

inline QString U(const char* s) {
    return QString::fromUtf8(s);
}

// Keeps the settings under dir and works there; null if start-up failed.
std::unique_ptr<CCommunicationApp> StartTestApp(const QString& dir);
std::string ReadAll(const QString& path);
// Writes text to dir/source.txt and opens it as the document; empty on failure.
QString OpenSource(CCommunicationApp& app, const QString& dir, const std::string& text);
