// `jvs convert OP [INPUT] [-o OUTPUT]`: the desktop conversions on files, byte for byte.
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "cli/CliCommand.h"
#include "cli/CliFiles.h"
#include "cli/ConvertOps.h"
#include "convert/Converters.h"

namespace cli {
namespace {

struct COpEntry {
    ConvertOpFn m_fn;
    std::vector<std::string> m_options;
};

std::map<std::string, COpEntry>& Ops(const std::string& command) {
    static std::map<std::string, std::map<std::string, COpEntry>> ops;
    return ops[command];
}

CConvertOpResult FromResult(CConvertResult result) {
    switch (result.m_kind) {
        case CConvertResult::EKind::kDone:
            return {kExitDone, std::move(result.m_text), {}};
        case CConvertResult::EKind::kFailed:
            return {kExitFailed, {}, std::move(result.m_message)};
        case CConvertResult::EKind::kUnchanged:
            break;
    }
    return {kExitUnchanged, {}, {}};
}

template <CConvertResult (*Fn)(std::string_view)>
CConvertOpResult Plain(std::string_view input, const ConvertOptions&) {
    return FromResult(Fn(input));
}

CConvertOpResult PcodeList(std::string_view input, const ConvertOptions&) {
    return FromResult(OnPcodeList(input));
}

CConvertOpResult Dxf(std::string_view input, const ConvertOptions&) {
    return FromResult(OnDxfExport(input));
}

CConvertOpResult PcodeBlocks(std::string_view input, const ConvertOptions&) {
    std::string out, message;
    if (!BuildPcodeBlocks(input, out, &message)) return {kExitFailed, {}, message};
    return {kExitDone, std::move(out), {}};
}

// The same text for both menu items, as in the window.
const CConvertOpRegistrar kTerv210("terv210", Plain<OnTervCoords210>);
const CConvertOpRegistrar kTerv610("terv610", Plain<OnTervCoords610>);
const CConvertOpRegistrar kZeltaMap("zeltamap", Plain<OnTervCoords610>);
const CConvertOpRegistrar kEdgeAngle("edgeangle610", Plain<OnTervEdgeAngle610>);
const CConvertOpRegistrar kMeasure("measure210", Plain<OnTervMeasurement210>);
const CConvertOpRegistrar kBlocks("blocks210", Plain<OnShowCoordBlocks210>);
const CConvertOpRegistrar kPcodeList("pcode-list", PcodeList);
const CConvertOpRegistrar kPcodeBlocks("pcode-blocks", PcodeBlocks);
const CConvertOpRegistrar kDxf("dxf", Dxf);

void PrintLines(const std::string& message) {
    std::istringstream lines(message);
    for (std::string line; std::getline(lines, line);) PrintMessage(line);
}

int Usage(const char* command, const std::string& problem) {
    std::fprintf(stderr, "jvs %s: %s\n", command, problem.c_str());
    std::string ops;
    for (const auto& [name, entry] : Ops(command)) ops += (ops.empty() ? "" : "|") + name;
    std::fprintf(stderr, "usage: jvs %s %s [INPUT] [-o OUTPUT]\n", command, ops.c_str());
    return kExitUsage;
}

int RunConvert(const std::vector<std::string>& args) {
    return RunFileOperation("convert", args);
}

const CCommandRegistrar kConvert("convert",
                                 "jvs convert OP [INPUT] [-o OUTPUT] [--old MM --new MM]   (OP: "
                                 "terv210, terv610, zeltamap, edgeangle610, measure210, "
                                 "blocks210, pcode-list, pcode-blocks, dxf, prism)",
                                 RunConvert);

}  // namespace

int RunFileOperation(const char* command, const std::vector<std::string>& args) {
    const auto Usage = [command](const std::string& problem) {
        return cli::Usage(command, problem);
    };
    if (args.empty()) return Usage("missing operation");
    const auto op = Ops(command).find(args[0]);
    if (op == Ops(command).end()) return Usage("unknown operation '" + args[0] + "'");
    std::string input, output;
    bool haveInput = false, haveOutput = false;
    ConvertOptions options;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-o" || arg == "--output") {
            if (haveOutput || i + 1 >= args.size()) return Usage("-o needs one OUTPUT");
            output = args[++i];
            haveOutput = true;
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            const std::string name = arg.substr(2);
            const auto& allowed = op->second.m_options;
            if (std::find(allowed.begin(), allowed.end(), name) == allowed.end())
                return Usage("unknown option '" + arg + "'");
            if (i + 1 >= args.size()) return Usage(arg + " needs a value");
            options[name] = args[++i];
        } else if (!haveInput && (arg == "-" || arg[0] != '-')) {
            input = arg;
            haveInput = true;
        } else {
            return Usage("unexpected argument '" + arg + "'");
        }
    }

    std::string text;
    if (!ReadInput(haveInput ? input : "-", text)) return kExitFailed;

    CConvertOpResult result = op->second.m_fn(text, options);
    if (!result.m_message.empty()) PrintLines(result.m_message);
    if (result.m_status != kExitDone) return result.m_status;
    return WriteOutputReported(haveOutput ? output : "-", result.m_text) ? kExitDone : kExitFailed;
}

CConvertOpRegistrar::CConvertOpRegistrar(const char* name, ConvertOpFn fn,
                                         std::vector<std::string> optionNames,
                                         const char* command) {
    Ops(command)[name] = COpEntry{fn, std::move(optionNames)};
}

}  // namespace cli
