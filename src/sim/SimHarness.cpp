#include "sim/SimHarness.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

CTempComDir::CTempComDir() {
    if (const char* old = std::getenv("JVS_COM_DIR")) {
        m_hadOld = true;
        m_oldValue = old;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/jvs-com-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) m_path = buf.data();
    setenv("JVS_COM_DIR", m_path.c_str(), 1);
}

CTempComDir::~CTempComDir() {
    if (!m_path.empty()) {
        if (DIR* dir = opendir(m_path.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") unlink((m_path + "/" + name).c_str());
            }
            closedir(dir);
        }
        rmdir(m_path.c_str());
    }
    if (m_hadOld)
        setenv("JVS_COM_DIR", m_oldValue.c_str(), 1);
    else
        unsetenv("JVS_COM_DIR");
}

std::string CTempComDir::PortPath(int n) const {
    return m_path + "/COM" + std::to_string(n);
}
