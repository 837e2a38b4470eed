// Operations of `jvs convert`: each file adds its own with a registrar, so a new
// operation needs no edit of the command itself.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct CConvertOpResult {
    int m_status = 0;       // kExitDone, kExitFailed, kExitUsage or kExitUnchanged
    std::string m_text;     // the new view text (status 0)
    std::string m_message;  // UTF-8, printed on standard error (may hold several lines)
};

// Options given as "--name value"; only names the operation declared are accepted.
using ConvertOptions = std::map<std::string, std::string>;
using ConvertOpFn = CConvertOpResult (*)(std::string_view input, const ConvertOptions& options);

struct CConvertOpRegistrar {
    // `optionNames` without the leading "--", e.g. {"old", "new"}. `command` is
    // the `jvs` command the operation belongs to ("convert", "export").
    CConvertOpRegistrar(const char* name, ConvertOpFn fn, std::vector<std::string> optionNames = {},
                        const char* command = "convert");
};

// `jvs COMMAND OP [INPUT] [-o OUTPUT] [--option value ...]` for the operations
// registered under `command`: reads the input, runs the operation and writes
// its text whole or not at all. Returns the exit status.
int RunFileOperation(const char* command, const std::vector<std::string>& args);

}  // namespace cli
