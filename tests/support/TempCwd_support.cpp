#include "TempCwd_support.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

CTempCwd::CTempCwd() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) m_old = cwd;
    char pattern[] = "/tmp/jvs-cfg-XXXXXX";
    if (mkdtemp(pattern)) m_path = pattern;
    if (!m_path.empty() && chdir(m_path.c_str()) != 0) m_path.clear();
    // The settings file is the current directory's, whatever the caller's shell says.
    unsetenv("JVS_SETTINGS");
}

CTempCwd::~CTempCwd() {
    if (!m_old.empty() && chdir(m_old.c_str()) != 0) return;
    if (m_path.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

CFileSizeLimit::CFileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit r{bytes, m_old.rlim_max};
    setrlimit(RLIMIT_FSIZE, &r);
}

CFileSizeLimit::~CFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

size_t EntriesIn(const std::string& dir) {
    namespace fs = std::filesystem;
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}

CTempDevRoot::CTempDevRoot() {
    if (const char* old = std::getenv("JVS_DEV_DIR")) {
        m_hadOld = true;
        m_old = old;
    }
    char pattern[] = "/tmp/jvs-dev-XXXXXX";
    if (mkdtemp(pattern)) m_path = pattern;
    setenv("JVS_DEV_DIR", m_path.c_str(), 1);
}

CTempDevRoot::~CTempDevRoot() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    if (m_hadOld)
        setenv("JVS_DEV_DIR", m_old.c_str(), 1);
    else
        unsetenv("JVS_DEV_DIR");
}
