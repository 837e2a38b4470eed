// Test and console support: a private port directory ($JVS_COM_DIR) in which
// pseudo-terminals are linked as COM1..COM16, so a run can never reach a real
// device and several runs never meet.
#pragma once

#include <string>

class CTempComDir {
public:
    // Makes a fresh directory under $TMPDIR (or /tmp) and points JVS_COM_DIR at it.
    CTempComDir();
    // Removes the directory with what is left in it and restores JVS_COM_DIR.
    ~CTempComDir();
    CTempComDir(const CTempComDir&) = delete;
    CTempComDir& operator=(const CTempComDir&) = delete;

    const std::string& Path() const { return m_path; }
    // $JVS_COM_DIR/COMn
    std::string PortPath(int n) const;

private:
    std::string m_path;
    std::string m_oldValue;
    bool m_hadOld = false;
};
