// `jvs` subcommands register themselves here, one file per command family.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Exit statuses of the console contract.
inline constexpr int kExitDone = 0, kExitFailed = 1, kExitUsage = 2, kExitUnchanged = 3;

using CommandFn = int (*)(const std::vector<std::string>& args);

struct CCommandRegistrar {
    CCommandRegistrar(const char* name, const char* usage, CommandFn fn);
};

// Prints a message (UTF-8) on standard error, one per line.
void PrintMessage(const std::string& utf8);

}  // namespace cli
