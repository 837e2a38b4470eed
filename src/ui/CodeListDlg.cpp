#include "ui/CodeListDlg.h"

#include <QFormLayout>
#include <QLineEdit>
#include <new>

#include "convert/ConvertMessages.h"
#include "edit/EditListText.h"
#include "edit/EditState.h"
#include "edit/EditTexts.h"
#include "edit/FieldText.h"
#include "edit/RecordTables.h"
#include "ui/DialogButtons.h"
#include "ui/MessageSeam.h"
#include "ui/UpdatePromptDlg.h"

CCodeListDlg::CCodeListDlg(CViewTextAccess view, QWidget* parent)
    : CEditListDlg(std::move(view), kCodeTextBytes, parent) {
    setWindowTitle(QString::fromUtf8("编码"));
    ApplyDialogFrame(*this, QString::fromUtf8("宋体"), 10, 223, 121);
    OnInitDialog();
}

void CCodeListDlg::OnInitDialog() {
    std::vector<std::string> cells;
    cells.reserve(static_cast<std::size_t>(g_nCodeCount) * 2);
    for (int i = 0; i < g_nCodeCount; ++i) {
        const CodeRecord& record = g_pCodeRecords[static_cast<std::size_t>(i)];
        cells.emplace_back(FieldText(record.m_number, kCodeNumberBytes));
        cells.emplace_back(FieldText(record.m_code, kCodeTextBytes));
    }
    SetUpList({QString::fromUtf8("编号"), QString::fromUtf8("编码")}, {150, 200}, std::move(cells));
    g_nListRows = g_nCodeCount;
    ShowCurrentRow();
}

void CCodeListDlg::OpenAddDialog() {
    CAddCodeDlg dialog(this, this);
    RunEditDialog(dialog);
}

void CCodeListDlg::OpenEditDialog() {
    CEditCodeDlg dialog(this, this);
    RunEditDialog(dialog);
}

std::unique_ptr<QDialog> CCodeListDlg::MakeUpdatePrompt() {
    return std::make_unique<CUpdateCodeDlg>(this);
}

CCodeDataDlg::CCodeDataDlg(const char* caption, const char* numberLabel, CCodeListDlg* list,
                           QWidget* parent)
    : QDialog(parent), m_pList(list) {
    setWindowTitle(QString::fromUtf8(caption));
    m_pNumber = new QLineEdit(this);
    m_pNumber->setValidator(new CFieldValidator(static_cast<int>(kCodeNumberBytes), m_pNumber));
    m_pCode = new QLineEdit(this);
    m_pCode->setValidator(new CFieldValidator(static_cast<int>(kCodeTextBytes), m_pCode));
    auto* form = new QFormLayout(this);
    form->addRow(QString::fromUtf8(numberLabel), m_pNumber);
    form->addRow(QString::fromUtf8("编码："), m_pCode);
    form->addRow(MakeOkCancel(*this, ButtonPlace::kRow).layout);
}

int CCodeDataDlg::CheckInput() {
    m_strNumber = m_pNumber->text();
    m_strCode = m_pCode->text();
    if (m_strNumber.isEmpty()) return 1;
    if (m_strCode.isEmpty()) return 2;
    return 0;
}

bool CCodeDataDlg::InputAccepted() {
    switch (CheckInput()) {
        case 1:
            ShowMessageBox(this, QString::fromUtf8(edit_text::kNameEmpty));
            return false;
        case 2:
            ShowMessageBox(this, QString::fromUtf8(edit_text::kCodeEmpty));
            return false;
        default:
            return true;
    }
}

CAddCodeDlg::CAddCodeDlg(CCodeListDlg* list, QWidget* parent)
    : CCodeDataDlg("添加编码", "点名：", list, parent) {
    ApplyDialogFrame(*this, QString::fromUtf8("宋体"), 10, 118, 85);
}

void CAddCodeDlg::accept() {
    if (!InputAccepted() || !m_pList) return;
    m_pList->InsertRow(g_nListRows, {m_strNumber, m_strCode});
    g_nListRows = m_pList->RowCount();
    g_nCurRow = 0;
    QDialog::accept();
}

CEditCodeDlg::CEditCodeDlg(CCodeListDlg* list, QWidget* parent)
    : CCodeDataDlg("编辑编码", "编号：", list, parent) {
    ApplyDialogFrame(*this, QString::fromUtf8("宋体"), 10, 119, 79);
    if (m_pList && m_pList->RowExists(g_nCurRow)) {
        NumberEdit()->setText(
            CellText(CutToField(m_pList->RawCell(g_nCurRow, 0), kCodeNumberBytes)));
        CodeEdit()->setText(CellText(CutToField(m_pList->RawCell(g_nCurRow, 1), kCodeTextBytes)));
    }
}

void CEditCodeDlg::accept() {
    if (!InputAccepted() || !m_pList) return;
    // With no current row there is nothing to change (row 0 is not overwritten).
    if (m_pList->RowExists(g_nCurRow)) {
        m_pList->SetCell(g_nCurRow, 0, m_strNumber);
        m_pList->SetCell(g_nCurRow, 1, m_strCode);
    }
    QDialog::accept();
}

void RunCodeListEditing(const CViewTextAccess& view, QWidget* parent) {
    const std::string text = view.m_get ? view.m_get() : std::string();
    try {
        LoadCodeRecords(text);
    } catch (const std::bad_alloc&) {
        ShowMessageBox(parent, QString::fromUtf8(edit_text::kNoData));
        return;
    }
    // A text that holds data but not one row of this format (LF line ends, a
    // header without commas) is not an empty list: writing one back would
    // throw the data away.
    if (g_nCodeCount == 0 && !text.empty()) {
        ShowMessageBox(parent, QString::fromUtf8(convert_msg::kBadPcodeList));
        return;
    }
    CCodeListDlg list(view, parent);
    RunEditDialog(list);
}
