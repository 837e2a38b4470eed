// `jvs convert prism --old MM --new MM`: the prism constant correction, constants
// in millimetres as the dialog takes them.
#include <cmath>

#include "cli/CliCommand.h"
#include "cli/ConvertOps.h"
#include "convert/ConvertMessages.h"
#include "convert/RecordFormats.h"
#include "edit/EditTexts.h"
#include "edit/PrismCorrection.h"

namespace cli {
namespace {

CConvertOpResult Usage(const std::string& problem) {
    return {kExitUsage, {}, "jvs convert prism: " + problem + " (usage: --old MM --new MM)"};
}

CConvertOpResult Prism(std::string_view input, const ConvertOptions& options) {
    float constants[2] = {};
    const char* names[2] = {"old", "new"};
    for (int i = 0; i < 2; ++i) {
        const auto option = options.find(names[i]);
        if (option == options.end()) return Usage(std::string("missing --") + names[i]);
        const auto value = ParseDecimalField(option->second);
        if (!value || !std::isfinite(*value))
            return Usage(std::string("--") + names[i] + " needs a number of millimetres");
        constants[i] = PrismConstantMetres(*value);
    }
    std::string out;
    std::size_t badLine = 0;
    switch (CorrectPrismText(input, constants[0], constants[1], out, &badLine)) {
        case PrismResult::kCorrected:
            return {kExitDone, std::move(out), {}};
        case PrismResult::kInvalid:
            return {kExitFailed,
                    {},
                    std::string(edit_text::kInvalidRawData) + "\n" +
                        LineNote(static_cast<int>(badLine))};
        case PrismResult::kTooLarge:
            return {kExitFailed, {}, convert_msg::kOutOfMemory};
        case PrismResult::kUnchanged:
            break;
    }
    return {kExitUnchanged, {}, {}};
}

const CConvertOpRegistrar kPrism("prism", Prism, {"old", "new"});

}  // namespace
}  // namespace cli
