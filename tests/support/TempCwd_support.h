// Runs a test inside a fresh temporary directory (the settings file lives in
// the current directory), and the other helpers the settings tests share.
#pragma once

#include <sys/resource.h>

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

// A file-size limit stands in for a full disk: writes past it fail with EFBIG.
class CFileSizeLimit {
public:
    explicit CFileSizeLimit(rlim_t bytes);
    ~CFileSizeLimit();
    CFileSizeLimit(const CFileSizeLimit&) = delete;
    CFileSizeLimit& operator=(const CFileSizeLimit&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};

// The settings file as the defaults save it.
inline constexpr const char kDefaultsFile[] =
    "[JVSCOMSETTING]\r\nCOMPort=COM1\r\nBaudrate=115200\r\nCheckBit=0\r\nDataBit=8\r\n"
    "Protol=0\r\nReceiveTimeOut=10000\r\nRowDelay=200\r\nStopBit=0\r\n";

std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
size_t EntriesIn(const std::string& dir);

// A private device folder ($JVS_DEV_DIR) standing for /dev: the serial
// devices the program lists and probes are what a test puts here.
class CTempDevRoot {
public:
    CTempDevRoot();
    ~CTempDevRoot();
    CTempDevRoot(const CTempDevRoot&) = delete;
    CTempDevRoot& operator=(const CTempDevRoot&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
    std::string m_old;
    bool m_hadOld = false;
};
