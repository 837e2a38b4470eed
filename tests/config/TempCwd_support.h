// Runs a test inside a fresh temporary directory (the settings file lives in
// the current directory).
#pragma once

#include <string>

class CTempCwd {
public:
    CTempCwd();
    ~CTempCwd();
    CTempCwd(const CTempCwd&) = delete;
    CTempCwd& operator=(const CTempCwd&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    std::string m_old;
};

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
