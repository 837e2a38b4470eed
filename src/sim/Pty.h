// A pseudo-terminal pair whose slave side plays a serial port: the program
// opens the slave (through a link named like a port), the simulated
// instrument or a test drives the master.
#pragma once

#include <string>

class CPty {
public:
    CPty() = default;
    CPty(const CPty&) = delete;
    CPty& operator=(const CPty&) = delete;
    ~CPty();

    // Creates the pair with the slave in raw mode. False with a reason on failure.
    bool Create(std::string* error = nullptr);
    // Makes `path` a symbolic link to the slave where nothing is, or over a
    // dead simulator's link (see sim/SimLink.h); anything else is refused.
    bool LinkAs(const std::string& path, std::string* error = nullptr);
    // Closes the master: the port's user sees the line hang up.
    void CloseMaster();
    void RemoveLink();

    int Master() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }
    const std::string& LinkPath() const { return m_linkPath; }

    // Writes all bytes to the master, waiting for room up to timeoutMs. Returns bytes written.
    size_t WriteAll(const std::string& bytes, int timeoutMs = 2000);
    // Reads what arrives on the master within timeoutMs (returns early once
    // `want` bytes are there, when want > 0).
    std::string ReadFor(int timeoutMs, size_t want = 0);

private:
    int m_master = -1;
    std::string m_slavePath;
    std::string m_linkPath;
};
