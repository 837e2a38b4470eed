#include "JvsProcess_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

std::string JvsPath() {
    return std::string(JVS_BINARY_DIR) + "/bin/jvs";
}

int UnreadPipe() {
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) return -1;
    close(fds[0]);
    return fds[1];
}

CJvsProcess::CJvsProcess(const std::vector<std::string>& args, const CJvsOptions& options) {
    // Everything the child needs is made before fork: the test may run threads.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const auto& change : options.env)
            replaced = replaced || entry.rfind(change.first + "=", 0) == 0;
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [name, value] : options.env)
        if (value != "\x01") env.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> words = options.prefix;
    words.push_back(JvsPath());
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
    int out[2] = {-1, -1}, err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;

    m_pid = fork();
    if (m_pid == 0) {
        if (chdir(options.cwd.c_str()) != 0) _exit(126);
        const int in =
            options.stdinFd >= 0 ? options.stdinFd : open(options.stdinPath.c_str(), O_RDONLY);
        if (in < 0) _exit(126);
        dup2(in, 0);
        if (options.stdoutFd == kClosed)
            close(1);
        else
            dup2(options.stdoutFd >= 0 ? options.stdoutFd : out[1], 1);
        dup2(err[1], 2);
        // SIGXFSZ at its default, as a shell leaves it: jvs must not die of it.
        signal(SIGXFSZ, SIG_DFL);
        if (options.fileSizeLimit != RLIM_INFINITY) setrlimit(RLIMIT_FSIZE, &limit);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        execvpe(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    m_outReader = std::thread([this, fd = out[0]] { Capture(fd, m_out); });
    m_errReader = std::thread([this, fd = err[0]] { Capture(fd, m_err); });
}

void CJvsProcess::Capture(int fd, std::string& into) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::lock_guard lock(m_mutex);
        into.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
}

CJvsProcess::~CJvsProcess() {
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_outReader.joinable()) m_outReader.join();
    if (m_errReader.joinable()) m_errReader.join();
}

void CJvsProcess::Signal(int signal) const {
    if (m_pid > 0) kill(m_pid, signal);
}

std::string CJvsProcess::ErrSoFar() const {
    std::lock_guard lock(m_mutex);
    return m_err;
}

bool CJvsProcess::WaitForErr(const std::string& text, int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (ErrSoFar().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

CJvsResult CJvsProcess::Wait(int timeoutMs) {
    CJvsResult result;
    int raw = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_pid > 0) {
        if (waitpid(m_pid, &raw, WNOHANG) == m_pid) break;
        if (std::chrono::steady_clock::now() >= end) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &raw, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    m_pid = -1;
    if (WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    if (WIFSIGNALED(raw)) result.signal = WTERMSIG(raw);
    if (m_outReader.joinable()) m_outReader.join();
    if (m_errReader.joinable()) m_errReader.join();
    std::lock_guard lock(m_mutex);
    result.out = m_out;
    result.err = m_err;
    return result;
}

CJvsResult RunJvs(const std::vector<std::string>& args, const CJvsOptions& options) {
    return CJvsProcess(args, options).Wait();
}

CJvsResult RunJvsIn(const CTempDir& dir, const std::vector<std::string>& args,
                    const std::string& input, CJvsOptions options) {
    WriteFileBytes(dir / "stdin", input);
    options.cwd = dir.Path();
    options.stdinPath = dir / "stdin";
    return RunJvs(args, options);
}
