#include "TempCwd_support.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

CTempDir::CTempDir(const char* prefix) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "XXXXXX";
    if (mkdtemp(pattern.data())) m_path = pattern;
}

CTempDir::~CTempDir() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

CTempCwd::CTempCwd() : CTempDir("jvs-cfg-") {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) m_old = cwd;
    if (!Path().empty() && chdir(Path().c_str()) != 0) m_old.clear();
    // The settings file is the current directory's, whatever the caller's shell says.
    unsetenv("JVS_SETTINGS");
}

CTempCwd::~CTempCwd() {
    // Back where the test started; the base then removes the folder.
    if (!m_old.empty() && chdir(m_old.c_str()) != 0) std::perror("chdir");
}

CTempEnvDir::CTempEnvDir(const char* variable, const char* prefix)
    : CTempDir(prefix), m_variable(variable) {
    if (const char* old = std::getenv(variable)) {
        m_hadOld = true;
        m_old = old;
    }
    setenv(variable, Path().c_str(), 1);
}

CTempEnvDir::~CTempEnvDir() {
    if (m_hadOld)
        setenv(m_variable.c_str(), m_old.c_str(), 1);
    else
        unsetenv(m_variable.c_str());
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
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

size_t EntriesIn(const std::string& dir) {
    namespace fs = std::filesystem;
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {}));
}
