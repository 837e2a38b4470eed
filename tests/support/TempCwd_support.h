// Temporary folders (plain, as the current directory, as the port directory),
// a file-size limit standing in for a full disk, and whole-file helpers.
#pragma once

#include <sys/resource.h>

#include <string>

// A fresh folder under $TMPDIR (or /tmp), removed with its contents at the end.
class CTempDir {
public:
    explicit CTempDir(const char* prefix = "jvs-test-");
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// A fresh folder as the current directory (the settings file lives there).
class CTempCwd : public CTempDir {
public:
    CTempCwd();
    ~CTempCwd();

private:
    std::string m_old;
};

// A fresh folder that an environment variable names while it lives.
class CTempEnvDir : public CTempDir {
public:
    CTempEnvDir(const char* variable, const char* prefix);
    ~CTempEnvDir();

private:
    std::string m_variable, m_old;
    bool m_hadOld = false;
};

// A private port directory: JVS_COM_DIR points at it while it lives, so
// pseudo-terminals linked there as COM1..COM16 are the only ports a run sees.
class CTempComDir : public CTempEnvDir {
public:
    CTempComDir() : CTempEnvDir("JVS_COM_DIR", "jvs-com-") {}
    // $JVS_COM_DIR/COMn
    std::string PortPath(int n) const { return *this / ("COM" + std::to_string(n)); }
};

// A private device folder ($JVS_DEV_DIR) standing for /dev: the serial
// devices the program lists and probes are what a test puts here.
class CTempDevRoot : public CTempEnvDir {
public:
    CTempDevRoot() : CTempEnvDir("JVS_DEV_DIR", "jvs-dev-") {}
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
