#include "cli/ConsoleScreen.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/CancelToken.h"
#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "transfer/TransferState.h"

namespace cli {

CConsoleScreen::CConsoleScreen(std::string view, bool yes) : m_view(std::move(view)), m_yes(yes) {
    m_terminal = isatty(STDERR_FILENO) == 1;
}

CConsoleScreen::~CConsoleScreen() = default;

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

void CConsoleScreen::AppendText(std::string_view bytes) {
    std::lock_guard lock(m_mutex);
    m_view.append(bytes);
}

void CConsoleScreen::ShowMessage(const std::string& utf8) {
    EndProgressLine();
    PrintMessage(utf8);
    std::lock_guard lock(m_mutex);
    ++m_messages;
}

bool CConsoleScreen::AskOperator(const std::string& utf8, const CCancelToken& cancel) {
    PrintMessage(utf8);
    if (m_yes) return true;
    // Enter, or the end of input, goes on; a stop (an interrupt) ends the wait.
    for (;;) {
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {cancel.Fd(), POLLIN, 0}};
        const int ready = poll(fds, cancel.Fd() >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || fds[1].revents || cancel.IsCancelled()) return false;
        char c = 0;
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') return true;
    }
}

void CConsoleScreen::ShowProgress(const CTransferProgress& progress) {
    // The one throttle of the progress display: a terminal's line is
    // rewritten ten times a second, a log gets a line a second; the last
    // report always shows.
    const auto now = std::chrono::steady_clock::now();
    const auto every =
        m_terminal ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000);
    if (!progress.final && now - m_lastProgress < every) return;
    m_lastProgress = now;
    const std::string text = ProgressText(progress);
    if (m_terminal) {
        // Cleared to the end of the line: a shorter text leaves nothing behind.
        std::fprintf(stderr, "\r%s\x1b[K", text.c_str());
        m_progressShown = true;
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    std::fflush(stderr);
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
