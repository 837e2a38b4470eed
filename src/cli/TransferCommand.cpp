// `jvs download` and `jvs upload`: the serial transfers on the console. The
// operator prompt goes to standard error and waits for Enter (end of input
// counts as Enter; --yes goes on at once).
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "config/LinkSettings.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"

namespace cli {
namespace {

class CConsoleScreen : public CTransferScreen {
public:
    CConsoleScreen(std::string input, bool yes) : m_view(std::move(input)), m_yes(yes) {
        m_progress = isatty(STDERR_FILENO) == 1;
        m_abandonFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    }
    ~CConsoleScreen() override {
        if (m_abandonFd >= 0) ::close(m_abandonFd);
    }
    CConsoleScreen(const CConsoleScreen&) = delete;
    CConsoleScreen& operator=(const CConsoleScreen&) = delete;

    std::string GetViewText() override {
        std::lock_guard lock(m_mutex);
        return m_view;
    }
    void SetViewText(const std::string& bytes) override {
        std::lock_guard lock(m_mutex);
        m_view = bytes;
    }
    void ShowText(const std::string& bytes) override { SetViewText(bytes); }
    void LockView() override {}
    void UnlockView() override {}
    void ShowMessage(const std::string& utf8) override {
        EndProgressLine();
        PrintMessage(utf8);
        std::lock_guard lock(m_mutex);
        ++m_messages;
    }
    void AskOperator(const std::string& utf8) override {
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
    void Abandon() override {
        if (m_abandonFd >= 0) eventfd_write(m_abandonFd, 1);
    }
    void MarkModified() override {}
    void ShowProgress(long long units, bool receiving) override {
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

    int Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }
    void EndProgressLine() {
        if (m_progressShown) std::fputc('\n', stderr);
        m_progressShown = false;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_view;
    bool m_yes;
    bool m_progress = false;
    bool m_progressShown = false;
    int m_messages = 0;
    int m_abandonFd = -1;
    std::chrono::steady_clock::time_point m_started{}, m_lastProgress{};
};

int Usage(const std::string& why) {
    std::fprintf(stderr, "jvs: %s\n", why.c_str());
    return kExitUsage;
}

// Common part: settings in force, line options, --yes, -o.
struct CTransferArgs {
    bool yes = false;
    std::string output;
    std::vector<std::string> rest;
};

int ParseCommon(std::vector<std::string> args, CTransferArgs& out) {
    LoadSettingsInForce();
    ComSettingsRecord record = ComSettings.Get();
    const CLineParse parse = ParseLineOptions(args, record, LineCheck::Transfer);
    if (!parse.ok) return Usage(parse.usageError);
    ComSettings.Set(record);
    out.yes = TakeFlag(args, "--yes");
    bool missing = false;
    std::string value;
    if (TakeOption(args, "-o", value, missing) || TakeOption(args, "--output", value, missing))
        out.output = value;
    if (missing) return Usage("-o needs a file name");
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-') return Usage("unknown option '" + a + "'");
    out.rest = std::move(args);
    return kExitDone;
}

// Runs the transfer; a signal stops it in order and gives 128 + its number.
int Run(TransferKind kind, CConsoleScreen& screen, CInterruptWatch& watch, int& signal) {
    bool started = false;
    const unsigned code = RunTransfer(kind, screen, watch, signal, started);
    screen.EndProgressLine();
    if (!started) return -1;
    if (signal != 0) PrintMessage("jvs: interrupted by " + SignalName(signal));
    return static_cast<int>(code);
}

int Download(const std::vector<std::string>& argv) {
    CTransferArgs args;
    if (const int bad = ParseCommon(argv, args)) return bad;
    if (args.rest.size() != 1) return Usage("usage: jvs download qmx210|qmx610 [-o OUTPUT]");
    TransferKind kind;
    if (args.rest[0] == "qmx210")
        kind = TransferKind::DownloadQmx210;
    else if (args.rest[0] == "qmx610")
        kind = TransferKind::DownloadQmx610;
    else
        return Usage("unknown instrument family '" + args.rest[0] + "'");
    CConsoleScreen screen({}, args.yes);
    g_strTransferText.Clear();
    CInterruptWatch watch;  // until the bytes are written
    int signal = 0;
    const int code = Run(kind, screen, watch, signal);
    if (code < 0) return kExitFailed;
    const std::string received = g_strTransferText.Get();
    int status = code == 1 ? kExitDone : screen.Messages() > 0 ? kExitFailed : kExitUnchanged;
    if (signal != 0) status = InterruptedStatus(signal);
    // Complete, timed out or interrupted: what arrived is handed over, and
    // kept elsewhere when OUTPUT cannot take it.
    if (code == 1 || !received.empty()) {
        if (!WriteOutputReported(args.output, received)) {
            KeepReceivedBytes(received);
            if (signal == 0) status = kExitFailed;
        }
    }
    return status;
}

int Upload(const std::vector<std::string>& argv) {
    CTransferArgs args;
    if (const int bad = ParseCommon(argv, args)) return bad;
    if (args.rest.empty() || args.rest.size() > 2)
        return Usage("usage: jvs upload qmx210|qmx610|pcode|features|alignment [INPUT]");
    static const std::map<std::string, TransferKind> kinds = {
        {"qmx210", TransferKind::UploadQmx210},
        {"qmx610", TransferKind::UploadQmx610},
        {"pcode", TransferKind::UploadPcode},
        {"features", TransferKind::UploadFeatureCodes},
        {"alignment", TransferKind::UploadAlignment},
    };
    const auto it = kinds.find(args.rest[0]);
    if (it == kinds.end()) return Usage("unknown upload '" + args.rest[0] + "'");
    std::string text;
    if (!ReadInput(args.rest.size() == 2 ? args.rest[1] : "-", text)) return kExitFailed;
    CConsoleScreen screen(text, args.yes);
    CInterruptWatch watch;
    int signal = 0;
    const int code = Run(it->second, screen, watch, signal);
    if (code < 0) return kExitFailed;
    if (signal != 0) return InterruptedStatus(signal);
    if (code == 2)
        return WriteOutputReported(args.output, g_strTransferText.Get()) ? kExitDone : kExitFailed;
    return screen.Messages() > 0 ? kExitFailed : kExitUnchanged;
}

const CCommandRegistrar kDownload("download",
                                  "jvs download qmx210|qmx610 [-o OUTPUT] [--yes] [line options]",
                                  Download);
const CCommandRegistrar kUpload(
    "upload", "jvs upload qmx210|qmx610|pcode|features|alignment [INPUT] [--yes] [line options]",
    Upload);

}  // namespace
}  // namespace cli
