// The conversions: view text in, new view text (or a message) out. Pure functions
// of their input; the window and `jvs convert` show the result.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "convert/RecordFormats.h"

struct CConvertResult {
    enum class EKind {
        kDone,       // m_text is the new view text
        kFailed,     // m_message (UTF-8) is to be shown; the view keeps its text
        kUnchanged,  // ended quietly: nothing shown, nothing changed
    };
    EKind m_kind = EKind::kUnchanged;
    std::string m_text;
    std::string m_message;

    static CConvertResult Done(std::string text) { return {EKind::kDone, std::move(text), {}}; }
    static CConvertResult Failed(std::string message) {
        return {EKind::kFailed, {}, std::move(message)};
    }
    static CConvertResult Unchanged() { return {}; }
    bool IsDone() const { return m_kind == EKind::kDone; }
};

// QMX210 coordinate download (framed blocks) to a TERV list (commands 32776).
CConvertResult OnTervCoords210(std::string_view viewText);
// QMX610/710 "08KI", "02TP", "08TP" records to a TERV / ZeltaMap list (32798, 32814).
CConvertResult OnTervCoords610(std::string_view viewText);
// JVS measurement data (framed) to a TERV list (32804).
CConvertResult OnTervMeasurement210(std::string_view viewText);
// TERV210 list to the framed QMX210 coordinate blocks, shown as text (32778).
CConvertResult OnShowCoordBlocks210(std::string_view viewText);
// QMX610/710 "09F1", "09F2" angle-and-distance records to comma-separated lines (32797).
CConvertResult OnTervEdgeAngle610(std::string_view viewText);
// Raw code blocks to a code list (32782). When `table` is given it receives the
// code records read.
CConvertResult OnPcodeList(std::string_view viewText, std::vector<CodeRecord>* table = nullptr);
// TERV210 list to a release 10 DXF drawing (32781).
CConvertResult OnDxfExport(std::string_view viewText);

// Encoders used by the uploads (thread-safe: they touch only their arguments).
// Each appends the framed blocks and the end frame to `out` and returns true, or
// returns false with the message to show in `message` (out is then unchanged).
bool BuildCoordBlocks(std::string_view viewText, std::string& out, std::string* message);
bool BuildPcodeBlocks(std::string_view viewText, std::string& out, std::string* message);

// Reads the raw code records of framed raw code text into `table`. Returns false
// with a message on failure, or false with an empty message when the text ends
// before its end frame (the caller ends quietly). Every "_:" of the unframed payload
// is a record, also one whose marker the framing split across two blocks.
bool ReadRawCodeRecords(std::string_view viewText, std::vector<CodeRecord>& table,
                        std::string* message);
