// The serial line options shared by `jvs probe`, `download`, `upload`,
// `config set` and `sim`: --port NAME, --baud N, --data-bits 7|8,
// --parity none|odd|even, --stop-bits 1|2, --protocol none|acknak,
// --timeout SECONDS, --row-delay MS. Each also accepts --option=value.
#pragma once

#include <string>
#include <vector>

#include "config/LinkSettings.h"

namespace cli {

// How --port, --timeout and --row-delay are checked.
enum class LineCheck {
    // For the settings file: --port must be a name the file can hold (COM1 to
    // COM16 or a device path); --timeout and --row-delay exactly as the COM
    // settings dialog: decimal prefix, out of range gives the dialog's message
    // and its replacement value (10 s, 800 ms).
    Dialog,
    // For a single run: --timeout may have a fraction (0.5), must be > 0 and at
    // most 999; --row-delay 0..9999. Anything else is a wrong command line.
    Transfer,
};

struct CLineParse {
    bool ok = true;
    std::string usageError;             // set when !ok: exit status 2
    std::vector<std::string> messages;  // the dialog's messages (Dialog check), in order
    bool anyGiven = false;              // at least one line option was on the command line
};

// Loads the settings in force into ComSettings/UsbSettings: the settings file
// when present, else the defaults; a warning on standard error names the keys
// whose values were put back to their defaults, or the file and the reason it
// could not be read. True when the file was there.
bool LoadSettingsInForce();

// Takes the line options out of `args` into `record`; every other argument
// stays in `args`, in order.
CLineParse ParseLineOptions(std::vector<std::string>& args, ComSettingsRecord& record,
                            LineCheck check);

// Takes "--name value" or "--name=value" out of args. False when absent; a
// missing value sets `missingValue`.
bool TakeOption(std::vector<std::string>& args, const std::string& name, std::string& value,
                bool& missingValue);
// Takes a flag such as --yes out of args.
bool TakeFlag(std::vector<std::string>& args, const std::string& name);

// Usage text of the line options, for the commands' help lines.
inline constexpr char kLineOptionsUsage[] =
    "[--port NAME] [--baud N] [--data-bits 7|8] [--parity none|odd|even] [--stop-bits 1|2] "
    "[--protocol none|acknak] [--timeout SECONDS] [--row-delay MS]";

}  // namespace cli
