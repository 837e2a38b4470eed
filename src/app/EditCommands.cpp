// Window commands of list editing and prism correction.
#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "transfer/TransferState.h"
#include "ui/CodeListDlg.h"
#include "ui/CoordListDlg.h"
#include "ui/EditUi.h"
#include "ui/PrismCorrectDlg.h"

namespace {

// The dialogs read the view and write their result through the shared
// transfer text into the view, replacing all of it; the document keeps its
// file and is marked modified.
CViewTextAccess ViewAccess() {
    CViewTextAccess access;
    access.m_get = [] {
        std::string text;
        GetViewText(text);
        return text;
    };
    access.m_set = [](const std::string& text) {
        g_strTransferText.Set(text);
        ShowEditedData(text);
    };
    return access;
}

void OnEditCoordList() {
    RunCoordListEditing(ViewAccess(), AppMainWindow());
}
void OnEditCodeList() {
    RunCodeListEditing(ViewAccess(), AppMainWindow());
}
void OnPrismCorrect() {
    RunPrismCorrection(ViewAccess(), AppMainWindow());
}

}  // namespace

void RegisterEditCommands() {
    RegisterCommand(cmd::kEditCoordList, OnEditCoordList);
    RegisterCommand(cmd::kEditCodeList, OnEditCodeList);
    RegisterCommand(cmd::kPrismCorrect, OnPrismCorrect);
}
