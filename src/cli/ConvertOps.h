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
    // `optionNames` without the leading "--", e.g. {"old", "new"}.
    CConvertOpRegistrar(const char* name, ConvertOpFn fn,
                        std::vector<std::string> optionNames = {});
};

}  // namespace cli
