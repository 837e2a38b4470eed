// `jvs` as a child process: arguments without a shell, a chosen working
// directory, standard input, environment and file-size limit, an optional
// command in front (umockdev-run), and signals sent to it while it runs.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "TempCwd_support.h"

struct CJvsResult {
    int status = -1;  // exit status, or -1 when it ended by a signal
    int signal = 0;   // the signal that ended it
    std::string out, err;
};

inline constexpr int kClosed = -2;

struct CJvsOptions {
    std::string cwd = ".";
    std::string stdinPath = "/dev/null";
    int stdinFd = -1;   // used instead of stdinPath when set (the child gets a copy)
    int stdoutFd = -1;  // used instead of the captured pipe when set; kClosed: none
    rlim_t fileSizeLimit = RLIM_INFINITY;                  // a full disk (SIGXFSZ at default)
    std::vector<std::pair<std::string, std::string>> env;  // value "\x01": unset
    std::vector<std::string> prefix;  // a program (found on PATH) that runs jvs, and its arguments
};

class CJvsProcess {
public:
    CJvsProcess(const std::vector<std::string>& args, const CJvsOptions& options);
    ~CJvsProcess();
    CJvsProcess(const CJvsProcess&) = delete;
    CJvsProcess& operator=(const CJvsProcess&) = delete;

    void Signal(int signal) const;
    // What it wrote to standard error so far.
    std::string ErrSoFar() const;
    // Waits until standard error holds `text` (true) or the time is up.
    bool WaitForErr(const std::string& text, int timeoutMs) const;
    // Waits for the end (killed after timeoutMs).
    CJvsResult Wait(int timeoutMs = 20000);

private:
    // Pipes, not files: a file-size limit must not cut what the test reads.
    void Capture(int fd, std::string& into);

    pid_t m_pid = -1;
    mutable std::mutex m_mutex;
    std::string m_out, m_err;
    std::thread m_outReader, m_errReader;
};

// Runs jvs to its end.
CJvsResult RunJvs(const std::vector<std::string>& args, const CJvsOptions& options = {});
// Runs jvs to its end in `dir`, `input` its standard input (kept as dir/stdin).
CJvsResult RunJvsIn(const CTempDir& dir, const std::vector<std::string>& args,
                    const std::string& input = "", CJvsOptions options = {});

// The write end of a pipe nobody reads (its read end already closed).
int UnreadPipe();

// Where the built jvs is.
std::string JvsPath();
