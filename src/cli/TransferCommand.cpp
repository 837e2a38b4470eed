// `jvs download` and `jvs upload`: the serial transfers on the console. The
// operator prompt goes to standard error and waits for Enter (end of input
// counts as Enter; --yes goes on at once).
#include <cstdio>
#include <map>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/ConsoleScreen.h"
#include "cli/Interrupt.h"
#include "cli/LineOptions.h"
#include "config/LinkSettings.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"

namespace cli {
namespace {

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
    const int code = RunOnConsole(kind, screen, watch, signal);
    if (code < 0) return kExitFailed;
    return HandOverReceived(code, signal, screen, args.output);
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
    const int code = RunOnConsole(it->second, screen, watch, signal);
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
