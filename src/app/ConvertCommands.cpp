// The conversion commands of the window: each reads the view, converts it in one
// go on a worker thread while the window goes on painting, and shows the result
// once, so even a long text is replaced at once instead of being redrawn after
// every record.
#include <QString>
#include <utility>

#include "app/AppServices.h"
#include "app/AppStrings.h"
#include "app/CommandIds.h"
#include "convert/Converters.h"
#include "edit/RecordTables.h"
#include "transfer/TransferState.h"
#include "ui/BusyWork.h"
#include "ui/MessageSeam.h"

namespace {

// Runs a conversion off the window's thread; nothing when the user cancelled.
template <class Result>
std::optional<Result> Convert(std::function<Result()> work) {
    return RunOffWindow<Result>(AppMainWindow(), QString::fromUtf8(apptext::kConverting),
                                std::move(work));
}

// Shows the result: the new text replaces the view (and becomes the transfer
// text) as an untitled document; a message leaves the view as it was.
void ShowResult(CConvertResult result) {
    switch (result.m_kind) {
        case CConvertResult::EKind::kDone:
            ShowNewData(result.m_text);
            // Handed over, not copied: a drawing can be several times the bound.
            g_strTransferText.Set(std::move(result.m_text));
            break;
        case CConvertResult::EKind::kFailed:
            ShowMessageBox(AppMainWindow(),
                           QString::fromUtf8(result.m_message.data(),
                                             static_cast<qsizetype>(result.m_message.size())));
            break;
        case CConvertResult::EKind::kUnchanged:
            break;
    }
}

template <CConvertResult (*Fn)(std::string_view)>
void Run() {
    std::string text;
    GetViewText(text);
    auto result = Convert<CConvertResult>([text = std::move(text)] { return Fn(text); });
    if (result) ShowResult(std::move(*result));
}

void RunPcodeList() {
    std::string text;
    GetViewText(text);
    using Converted = std::pair<CConvertResult, std::vector<CodeRecord>>;
    auto converted = Convert<Converted>([text = std::move(text)] {
        Converted out;
        out.first = OnPcodeList(text, &out.second);
        return out;
    });
    if (!converted) return;
    if (converted->first.IsDone()) SetCodeTable(std::move(converted->second));
    ShowResult(std::move(converted->first));
}

void RunDxfExport() {
    std::string text;
    GetViewText(text);
    using Converted = std::pair<CConvertResult, std::vector<CoordRecord>>;
    auto converted = Convert<Converted>([text = std::move(text)] {
        Converted out;
        out.first = OnDxfExport(text);
        // The coordinate list then shows the points drawn; every line of a
        // drawn text fits the table.
        if (out.first.IsDone()) {
            std::string ignored;
            ParseTerv210Records(text, out.second, &ignored);
        }
        return out;
    });
    if (!converted) return;
    if (converted->first.IsDone()) SetCoordTable(std::move(converted->second));
    ShowResult(std::move(converted->first));
}

}  // namespace

void RegisterConvertCommands() {
    RegisterCommand(cmd::kZeltaMap, Run<OnTervCoords610>);
    RegisterCommand(cmd::kTervCoords210, Run<OnTervCoords210>);
    RegisterCommand(cmd::kTervCoords610, Run<OnTervCoords610>);
    RegisterCommand(cmd::kTervEdgeAngle610, Run<OnTervEdgeAngle610>);
    RegisterCommand(cmd::kPcodeList, RunPcodeList);
    RegisterCommand(cmd::kTervMeasurement210, Run<OnTervMeasurement210>);
    RegisterCommand(cmd::kShowCoordBlocks210, Run<OnShowCoordBlocks210>);
    RegisterCommand(cmd::kDxfExport, RunDxfExport);
}
