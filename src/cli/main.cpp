// `jvs`: the console companion of the desktop program.
#include <fcntl.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/Interrupt.h"

namespace cli {
namespace {
struct Entry {
    const char* usage;
    CommandFn fn;
};
std::map<std::string, Entry>& Registry() {
    static std::map<std::string, Entry> registry;
    return registry;
}
}  // namespace

CCommandRegistrar::CCommandRegistrar(const char* name, const char* usage, CommandFn fn) {
    Registry()[name] = Entry{usage, fn};
}

void PrintMessage(const std::string& utf8) {
    std::fprintf(stderr, "%s\n", utf8.c_str());
}

}  // namespace cli

static void PrintHelp(FILE* out) {
    std::fprintf(out,
                 "jvs %s - console companion of the total station transfer tool\n\n"
                 "Usage:\n",
                 JVS_VERSION);
    for (const auto& [name, entry] : cli::Registry())
        if (entry.usage) std::fprintf(out, "  %s\n", entry.usage);
    std::fprintf(out,
                 "  jvs --help | --version\n\n"
                 "Exit status: 0 done, 1 a failure message was shown, 2 wrong command line,\n"
                 "3 nothing changed and nothing to report.\n");
}

// A standard stream started closed stays unusable (read-only /dev/null, so a
// write to it fails), rather than letting a descriptor we open take its number.
// Before every other constructor: the port object opens one at start.
__attribute__((constructor(101))) static void KeepStandardStreamsTaken() {
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF) open("/dev/null", O_RDONLY);
}

// An interrupt that cut an output short decides the status, after the command
// has kept what it could.
static int EndStatus(int status) {
    return cli::OutputInterrupt() ? cli::InterruptedStatus(cli::OutputInterrupt()) : status;
}

int main(int argc, char** argv) {
    // A closed pipe and a file-size limit are failed writes we report (and
    // keep the data elsewhere), not a silent end.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    if (argc < 2) {
        PrintHelp(stderr);
        return cli::kExitUsage;
    }
    const std::string first = argv[1];
    if (first == "--help" || first == "-h" || first == "help") {
        PrintHelp(stdout);
        return cli::FlushStandardOutput() ? cli::kExitDone : cli::kExitFailed;
    }
    if (first == "--version") {
        std::printf("jvs %s\n", JVS_VERSION);
        return cli::FlushStandardOutput() ? cli::kExitDone : cli::kExitFailed;
    }
    // Two-word commands ("download usb") come before the one-word family.
    if (argc >= 3) {
        const auto two = cli::Registry().find(first + " " + argv[2]);
        if (two != cli::Registry().end())
            return EndStatus(two->second.fn(std::vector<std::string>(argv + 3, argv + argc)));
    }
    auto it = cli::Registry().find(first);
    if (it == cli::Registry().end()) {
        std::fprintf(stderr, "jvs: unknown command '%s'\n", first.c_str());
        PrintHelp(stderr);
        return cli::kExitUsage;
    }
    return EndStatus(it->second.fn(std::vector<std::string>(argv + 2, argv + argc)));
}
