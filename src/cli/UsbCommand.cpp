// The USB transfers on the console: `jvs download usb`, `jvs upload usb-*` and
// `jvs probe --usb`. Like the serial commands, the operator prompt goes to
// standard error and waits for Enter (end of input counts as Enter; --yes goes
// on at once); the received text or the echo goes to standard output or -o.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <thread>

#include "cli/CliCommand.h"
#include "cli/LineOptions.h"
#include "config/LinkSettings.h"
#include "config/SafeFile.h"
#include "link/UsbDevice.h"
#include "link/UsbModelIds.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferScreen.h"
#include "transfer/TransferState.h"
#include "transfer/TransferWorkers.h"

namespace cli {
namespace {

constexpr char kDownloadUsage[] =
    "jvs download usb --model qmx640|qmx660 [-o OUTPUT] [--yes] [--usb-timeout S] "
    "[--usb-row-delay MS]";
constexpr char kUploadUsage[] =
    "jvs upload usb-coords|usb-text|usb-features [INPUT] --model qmx640|qmx660 [--yes] "
    "[--usb-timeout S] [--usb-row-delay MS]";
constexpr char kProbeUsage[] =
    "jvs probe --usb                   # lists the USB instruments present: model, bus, address";

class CUsbConsoleScreen : public CTransferScreen {
public:
    CUsbConsoleScreen(std::string view, bool yes) : m_view(std::move(view)), m_yes(yes) {}

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
        PrintMessage(utf8);
        std::lock_guard lock(m_mutex);
        ++m_messages;
    }
    void AskOperator(const std::string& utf8) override {
        PrintMessage(utf8);
        if (m_yes) return;
        m_asking = true;
        for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
        }
        m_asking = false;
    }
    // Waiting for the operator's Enter.
    bool Asking() const { return m_asking; }
    void MarkModified() override {}

    int Messages() const {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    mutable std::mutex m_mutex;
    std::string m_view;
    bool m_yes;
    std::atomic<bool> m_asking{false};
    int m_messages = 0;
};

// Ctrl-C, SIGTERM and SIGHUP during a transfer: the worker stops at its next
// step, the device is released and what arrived is still written; the exit
// status is then 128 + the signal. While the prompt waits for Enter nothing has
// been received, so the program ends at once.
class CSignalWatch {
public:
    explicit CSignalWatch(CUsbConsoleScreen& screen) {
        sigemptyset(&m_set);
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&m_set, sig);
        pthread_sigmask(SIG_BLOCK, &m_set, &m_old);
        m_thread = std::thread([this, &screen] {
            while (!m_done) {
                timespec slice{0, 100000000};
                const int sig = sigtimedwait(&m_set, nullptr, &slice);
                if (sig <= 0) continue;
                m_signal = sig;
                if (screen.Asking()) std::_Exit(128 + sig);
                CancelTransferWaits();
                g_UsbDevice.Cancel();
                return;
            }
        });
    }
    ~CSignalWatch() {
        m_done = true;
        m_thread.join();
        // A second signal after the first stays pending: the exit is under way.
        if (m_signal == 0) pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    CSignalWatch(const CSignalWatch&) = delete;
    CSignalWatch& operator=(const CSignalWatch&) = delete;
    // The exit status a signal asks for, or `code` when none came.
    int Status(int code) const { return m_signal ? 128 + m_signal : code; }

private:
    sigset_t m_set{}, m_old{};
    std::atomic<bool> m_done{false};
    std::atomic<int> m_signal{0};
    std::thread m_thread;
};

int Usage(const std::string& why, const char* usage) {
    std::fprintf(stderr, "jvs: %s\nusage: %s\n", why.c_str(), usage);
    return kExitUsage;
}

struct CUsbArgs {
    const UsbModelRow* model = nullptr;
    bool yes = false;
    std::string output;
    std::vector<std::string> rest;
};

// The USB options; the settings in force (./jvs_cfg.ini or the defaults) with
// --usb-timeout and --usb-row-delay applied for this run only.
int ParseUsbArgs(std::vector<std::string> args, bool withOutput, const char* usage, CUsbArgs& out) {
    LoadSettingsInForce();
    UsbSettingsRecord usb = UsbSettings.Get();
    bool missing = false;
    std::string value;
    if (!TakeOption(args, "--model", value, missing)) return Usage("--model is needed", usage);
    out.model = FindUsbModelByName(value);
    if (!out.model) return Usage("--model: qmx640 or qmx660", usage);
    if (TakeOption(args, "--usb-timeout", value, missing)) {
        char* end = nullptr;
        const double seconds = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(seconds > 0) || seconds > 999)
            return Usage("--usb-timeout: seconds, more than 0 and at most 999", usage);
        usb.USBRevTimeOut = std::max<int32_t>(1, static_cast<int32_t>(std::lround(seconds * 1000)));
    }
    if (TakeOption(args, "--usb-row-delay", value, missing)) {
        char* end = nullptr;
        const long ms = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || ms < 1 || ms > 9999)
            return Usage("--usb-row-delay: milliseconds, 1 to 9999", usage);
        usb.USBRevRowDelay = static_cast<int32_t>(ms);
    }
    out.yes = TakeFlag(args, "--yes");
    if (withOutput &&
        (TakeOption(args, "-o", value, missing) || TakeOption(args, "--output", value, missing)))
        out.output = value;
    if (missing) return Usage("an option needs a value", usage);
    for (const auto& a : args)
        if (a.size() > 1 && a[0] == '-') return Usage("unknown option '" + a + "'", usage);
    UsbSettings.Set(usb);
    UsbModelIds.Set(out.model->Ids);
    out.rest = std::move(args);
    return kExitDone;
}

// Runs the worker to its end; a failed Open also says why on a line of its own.
int RunUsb(TransferKind kind, CUsbConsoleScreen& screen) {
    CTransferManager& manager = TheTransferManager();
    if (!manager.Start(kind, screen)) return -1;
    const int code = static_cast<int>(manager.Wait());
    const std::string why = g_UsbDevice.LastError();
    if (code == 0 && !why.empty()) std::fprintf(stderr, "jvs: usb: %s\n", why.c_str());
    return code;
}

bool WriteOutput(const std::string& path, const std::string& bytes) {
    const int error =
        path.empty() || path == "-" ? WriteAll(STDOUT_FILENO, bytes) : ReplaceFile(path, bytes);
    if (error != 0)
        std::fprintf(stderr, "jvs: cannot write '%s': %s\n", path.empty() ? "-" : path.c_str(),
                     FileErrorText(error).c_str());
    return error == 0;
}

// Received bytes that OUTPUT could not take go to a new file of their own in
// the current directory, or the temporary directory when that fails.
void RescueReceived(const std::string& bytes) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string name = std::string("jvs-received-") + stamp + ".txt";
    const char* tmp = std::getenv("TMPDIR");
    for (const std::string& dir : {std::string("."), std::string(tmp && *tmp ? tmp : "/tmp")}) {
        const std::string path = dir + "/" + name;
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        const bool ok = WriteAll(fd, bytes) == 0;
        if (close(fd) == 0 && ok) {
            std::fprintf(stderr, "jvs: the received bytes are in %s\n", path.c_str());
            return;
        }
        unlink(path.c_str());
    }
    std::fprintf(stderr, "jvs: the received bytes could not be kept anywhere\n");
}

// The received text to OUTPUT, or to a rescue file when OUTPUT refuses it.
bool DeliverReceived(const std::string& path, const std::string& bytes) {
    if (WriteOutput(path, bytes)) return true;
    if (!bytes.empty()) RescueReceived(bytes);
    return false;
}

int DownloadUsb(const std::vector<std::string>& argv) {
    CUsbArgs args;
    if (const int bad = ParseUsbArgs(argv, true, kDownloadUsage, args)) return bad;
    if (!args.rest.empty())
        return Usage("unexpected argument '" + args.rest[0] + "'", kDownloadUsage);
    CUsbConsoleScreen screen({}, args.yes);
    CSignalWatch signals(screen);
    g_strTransferText.Clear();
    const int code = RunUsb(TransferKind::UsbDownload, screen);
    const std::string received = g_strTransferText.Get();
    if (code == 1) return DeliverReceived(args.output, received) ? kExitDone : kExitFailed;
    // A time-out or an interrupt still hands over what arrived.
    const bool written = received.empty() || DeliverReceived(args.output, received);
    if (!written) return kExitFailed;
    return signals.Status(screen.Messages() > 0 || code < 0 ? kExitFailed : kExitUnchanged);
}

int UploadUsb(TransferKind kind, const std::vector<std::string>& argv) {
    CUsbArgs args;
    if (const int bad = ParseUsbArgs(argv, false, kUploadUsage, args)) return bad;
    if (args.rest.size() > 1)
        return Usage("unexpected argument '" + args.rest[1] + "'", kUploadUsage);
    const std::string input = args.rest.empty() ? "-" : args.rest[0];
    const FileRead read = input == "-" ? ReadFdBounded(STDIN_FILENO, UploadBuffer::kSize)
                                       : ReadFileBounded(input, UploadBuffer::kSize);
    if (read.error == kFileTooLarge) {
        PrintMessage(kMsgUploadAllocFailed);
        return kExitFailed;
    }
    if (read.error != 0) {
        std::fprintf(stderr, "jvs: cannot read '%s': %s\n", input.c_str(),
                     FileErrorText(read.error).c_str());
        return kExitFailed;
    }
    CUsbConsoleScreen screen(read.bytes, args.yes);
    CSignalWatch signals(screen);
    const int code = RunUsb(kind, screen);
    if (signals.Status(0) != 0) return signals.Status(0);
    if (code == 1) return WriteOutput({}, g_strTransferText.Get()) ? kExitDone : kExitFailed;
    return screen.Messages() > 0 || code < 0 ? kExitFailed : kExitUnchanged;
}

int ProbeUsb(const std::vector<std::string>& args) {
    if (!args.empty()) return Usage("unexpected argument '" + args[0] + "'", kProbeUsage);
    const std::vector<UsbInstrumentFound> found = g_UsbDevice.List();
    if (found.empty()) {
        PrintMessage(kMsgUsbNotConnected);
        return kExitFailed;
    }
    for (const UsbInstrumentFound& f : found)
        std::printf("%.*s bus %03d address %03d\n", static_cast<int>(f.Model->Name.size()),
                    f.Model->Name.data(), f.Bus, f.Address);
    return std::fflush(stdout) == 0 ? kExitDone : kExitFailed;
}

const CCommandRegistrar kDownloadUsb("download usb", kDownloadUsage, DownloadUsb);
const CCommandRegistrar kUploadUsbCoords("upload usb-coords", kUploadUsage,
                                         [](const std::vector<std::string>& a) {
                                             return UploadUsb(TransferKind::UsbUploadQmx610, a);
                                         });
const CCommandRegistrar kUploadUsbText("upload usb-text", nullptr,
                                       [](const std::vector<std::string>& a) {
                                           return UploadUsb(TransferKind::UsbUploadText, a);
                                       });
const CCommandRegistrar kUploadUsbFeatures("upload usb-features", nullptr,
                                           [](const std::vector<std::string>& a) {
                                               return UploadUsb(TransferKind::UsbUploadFeatureCodes,
                                                                a);
                                           });
const CCommandRegistrar kProbeUsb("probe --usb", kProbeUsage, ProbeUsb);

}  // namespace
}  // namespace cli
