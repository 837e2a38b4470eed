// `jvs download` and `jvs upload`: the serial transfers on the console. The
// operator prompt goes to standard error and waits for Enter (end of input
// counts as Enter; --yes goes on at once).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <mutex>

#include "cli/CliCommand.h"
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
    }

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
        // Enter, or the end of input, goes on.
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        }
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
    std::chrono::steady_clock::time_point m_started{}, m_lastProgress{};
};

int Usage(const std::string& why) {
    std::fprintf(stderr, "jvs: %s\n", why.c_str());
    return kExitUsage;
}

bool WriteOutput(const std::string& path, const std::string& bytes) {
    if (path.empty() || path == "-") {
        std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        return std::fflush(stdout) == 0;
    }
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
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

int Run(TransferKind kind, CConsoleScreen& screen) {
    CTransferManager& manager = TheTransferManager();
    if (!manager.Start(kind, screen)) return kExitFailed;
    const unsigned code = manager.Wait();
    screen.EndProgressLine();
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
    const int code = Run(kind, screen);
    const std::string received = g_strTransferText.Get();
    if (code == 1) return WriteOutput(args.output, received) ? kExitDone : kExitFailed;
    // A time-out still hands over what arrived.
    if (!received.empty()) WriteOutput(args.output, received);
    return screen.Messages() > 0 ? kExitFailed : kExitUnchanged;
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
    const std::string input = args.rest.size() == 2 ? args.rest[1] : "-";
    if (input == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
    } else {
        std::ifstream file(input, std::ios::binary);
        if (!file) return Usage("cannot read '" + input + "'");
        text.assign(std::istreambuf_iterator<char>(file), {});
    }
    CConsoleScreen screen(text, args.yes);
    const int code = Run(it->second, screen);
    if (code == 2)
        return WriteOutput(args.output, g_strTransferText.Get()) ? kExitDone : kExitFailed;
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
