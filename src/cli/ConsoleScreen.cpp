#include "cli/ConsoleScreen.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "transfer/TransferState.h"

namespace cli {

CConsoleScreen::CConsoleScreen(std::string view, bool yes) : m_view(std::move(view)), m_yes(yes) {
    m_progress = isatty(STDERR_FILENO) == 1;
    m_abandonFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CConsoleScreen::~CConsoleScreen() {
    if (m_abandonFd >= 0) ::close(m_abandonFd);
}

std::string CConsoleScreen::GetViewText() {
    std::lock_guard lock(m_mutex);
    return m_view;
}

void CConsoleScreen::SetViewText(const std::string& bytes) {
    std::lock_guard lock(m_mutex);
    m_view = bytes;
}

void CConsoleScreen::ShowText(std::string bytes) {
    std::lock_guard lock(m_mutex);
    m_view = std::move(bytes);
}

void CConsoleScreen::ShowMessage(const std::string& utf8) {
    EndProgressLine();
    PrintMessage(utf8);
    std::lock_guard lock(m_mutex);
    ++m_messages;
}

void CConsoleScreen::AskOperator(const std::string& utf8) {
    PrintMessage(utf8);
    if (m_yes) return;
    // Enter, or the end of input, goes on; an interrupt abandons the wait.
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {m_abandonFd, POLLIN, 0}};
        const int ready = poll(fds, m_abandonFd >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || fds[1].revents) return;
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') return;
    }
}

void CConsoleScreen::Abandon() {
    if (m_abandonFd >= 0) eventfd_write(m_abandonFd, 1);
}

void CConsoleScreen::ShowProgress(long long units, bool receiving) {
    if (!m_progress) return;
    const auto now = std::chrono::steady_clock::now();
    if (m_started == std::chrono::steady_clock::time_point{}) m_started = now;
    if (now - m_lastProgress < std::chrono::milliseconds(100)) return;
    m_lastProgress = now;
    const double seconds = std::chrono::duration<double>(now - m_started).count();
    if (receiving)
        std::fprintf(stderr, "\r%lld bytes, %.0f bytes/s   ", units,
                     seconds > 0 ? units / seconds : 0.0);
    else
        std::fprintf(stderr, "\r%lld records sent   ", units);
    m_progressShown = true;
}

int CConsoleScreen::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

void CConsoleScreen::EndProgressLine() {
    if (m_progressShown) std::fputc('\n', stderr);
    m_progressShown = false;
}

int RunOnConsole(TransferKind kind, CConsoleScreen& screen, CInterruptWatch& watch, int& signal) {
    bool started = false;
    const unsigned code = RunTransfer(kind, screen, watch, signal, started);
    screen.EndProgressLine();
    if (!started) return -1;
    if (signal != 0) PrintMessage("jvs: interrupted by " + SignalName(signal));
    return static_cast<int>(code);
}

int HandOverReceived(int code, int signal, const CConsoleScreen& screen,
                     const std::string& output) {
    const std::string received = g_strTransferText.Get();
    int status = code == 1 ? kExitDone : screen.Messages() > 0 ? kExitFailed : kExitUnchanged;
    if (signal != 0) status = InterruptedStatus(signal);
    if (code == 1 || !received.empty()) {
        if (!WriteOutputReported(output, received)) {
            KeepReceivedBytes(received);
            if (signal == 0) status = kExitFailed;
        }
    }
    return status;
}

}  // namespace cli
