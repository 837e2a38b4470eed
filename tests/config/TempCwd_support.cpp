#include "TempCwd_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

CTempCwd::CTempCwd() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) m_old = cwd;
    std::string pattern = "/tmp/jvs-cfg-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) m_path = buf.data();
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

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}
