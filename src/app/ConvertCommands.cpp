// The conversion commands of the window: each reads the view, converts it in one
// go and shows the result once, so even a long text is replaced at once instead of
// being redrawn after every record.
#include <QString>

#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "convert/Converters.h"
#include "edit/RecordTables.h"
#include "transfer/TransferState.h"
#include "ui/MessageSeam.h"

namespace {

// Shows the result: the new text replaces the view (and becomes the transfer
// text) as an untitled document; a message leaves the view as it was.
void ShowResult(const CConvertResult& result) {
    switch (result.m_kind) {
        case CConvertResult::EKind::kDone:
            g_strTransferText.Set(result.m_text);
            ShowNewData(result.m_text);
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
    ShowResult(Fn(text));
}

void RunPcodeList() {
    std::string text;
    GetViewText(text);
    std::vector<CodeRecord> table;
    const CConvertResult result = OnPcodeList(text, &table);
    if (result.IsDone()) SetCodeTable(std::move(table));
    ShowResult(result);
}

void RunDxfExport() {
    std::string text;
    GetViewText(text);
    const CConvertResult result = OnDxfExport(text);
    // The coordinate list then shows the points drawn; every line of a drawn
    // text fits the table.
    if (result.IsDone()) {
        std::vector<CoordRecord> table;
        std::string ignored;
        ParseTerv210Records(text, table, &ignored);
        SetCoordTable(std::move(table));
    }
    ShowResult(result);
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
