#include "ui/CoordListDlg.h"

#include <QFormLayout>
#include <QLineEdit>
#include <new>

#include "convert/ConvertMessages.h"
#include "edit/EditListText.h"
#include "edit/EditState.h"
#include "edit/EditTexts.h"
#include "edit/FieldText.h"
#include "edit/RecordTables.h"
#include "ui/CoordFormatDlg.h"
#include "ui/DialogButtons.h"
#include "ui/MessageSeam.h"
#include "ui/UpdatePromptDlg.h"

CCoordListDlg::CCoordListDlg(CViewTextAccess view, QWidget* parent)
    : CEditListDlg(std::move(view), kCoordCellBytes, parent) {
    setWindowTitle(QString::fromUtf8("坐标"));
    ApplyDialogFrame(*this, QString::fromUtf8("宋体"), 10, 315, 126);
    OnInitDialog();
}

void CCoordListDlg::OnInitDialog() {
    QStringList headings;
    for (const char* heading : CoordHeadings(g_nEditFormat)) headings << QString::fromUtf8(heading);
    std::vector<std::string> cells;
    cells.reserve(static_cast<std::size_t>(g_nCoordCount) * 5);
    for (int i = 0; i < g_nCoordCount; ++i) {
        auto row = CoordRowCells(g_pCoordRecords[static_cast<std::size_t>(i)], g_nEditFormat);
        cells.insert(cells.end(), std::make_move_iterator(row.begin()),
                     std::make_move_iterator(row.end()));
    }
    SetUpList(headings, {100, 100, 100, 100, 100}, std::move(cells));
    g_nListRows = g_nCoordCount;
    ShowCurrentRow();
}

void CCoordListDlg::OpenAddDialog() {
    CAddDataDlg dialog(this, this);
    RunEditDialog(dialog);
}

void CCoordListDlg::OpenEditDialog() {
    CEditDataDlg dialog(this, this);
    RunEditDialog(dialog);
}

std::unique_ptr<QDialog> CCoordListDlg::MakeUpdatePrompt() {
    return std::make_unique<CUpdateDataDlg>(this);
}

CCoordDataDlg::CCoordDataDlg(const char* caption, CCoordListDlg* list, QWidget* parent)
    : QDialog(parent), m_pList(list) {
    setWindowTitle(QString::fromUtf8(caption));
    // Screen order of the fields and their labels.
    const struct {
        int field;
        const char* label;
    } rows[] = {{kFieldName, "点名："},
                {kFieldEast, "坐标E:"},
                {kFieldNorth, "坐标N:"},
                {kFieldHeight, "坐标Z:"},
                {kFieldCode, "编 码："}};
    auto* form = new QFormLayout(this);
    for (const auto& row : rows) {
        auto* edit = new QLineEdit(this);
        m_pValidators[row.field] = new CFieldValidator(static_cast<int>(kCoordCellBytes), edit);
        edit->setValidator(m_pValidators[row.field]);
        m_pEdits[row.field] = edit;
        form->addRow(QString::fromUtf8(row.label), edit);
        connect(edit, &QLineEdit::textChanged, this, &CCoordDataDlg::TakeFields);
    }
    form->addRow(MakeOkCancel(*this, ButtonPlace::kRow).layout);
}

void CCoordDataDlg::TakeFields() {
    m_strName = m_pEdits[kFieldName]->text();
    m_strCode = m_pEdits[kFieldCode]->text();
    m_strE = m_pEdits[kFieldEast]->text();
    m_strN = m_pEdits[kFieldNorth]->text();
    m_strZ = m_pEdits[kFieldHeight]->text();
}

QString CCoordDataDlg::FieldValue(int field) const {
    return m_pEdits[field]->text();
}

QStringList CCoordDataDlg::RowCells() const {
    QStringList cells;
    for (int column = 0; column < 5; ++column)
        cells << FieldValue(CoordFieldOfColumn(column, g_nEditFormat));
    return cells;
}

CAddDataDlg::CAddDataDlg(CCoordListDlg* list, QWidget* parent)
    : CCoordDataDlg("添加数据", list, parent) {
    ApplyDialogFrame(*this, QString::fromUtf8("宋体"), 10, 106, 146);
}

int CAddDataDlg::CheckInput() {
    TakeFields();
    if (m_strName.isEmpty()) return 1;
    if (m_strCode.isEmpty()) return 2;
    return 0;
}

void CAddDataDlg::accept() {
    switch (CheckInput()) {
        case 1:
            ShowMessageBox(this, QString::fromUtf8(edit_text::kNameEmpty));
            return;
        case 2:
            ShowMessageBox(this, QString::fromUtf8(edit_text::kCodeEmpty));
            return;
        default:
            break;
    }
    if (!m_pList) return;
    m_pList->InsertRow(g_nListRows, RowCells());
    g_nListRows = m_pList->RowCount();
    g_nCurRow = 0;
    QDialog::accept();
}

CEditDataDlg::CEditDataDlg(CCoordListDlg* list, QWidget* parent)
    : CCoordDataDlg("编辑数据", list, parent) {
    ApplyDialogFrame(*this, QString::fromUtf8("宋体"), 10, 105, 147);
    if (m_pList && m_pList->RowExists(g_nCurRow)) {
        for (int column = 0; column < 5; ++column) {
            const std::string& cell = m_pList->RawCell(g_nCurRow, column);
            const int field = CoordFieldOfColumn(column, g_nEditFormat);
            const QString value = CellText(CutToField(cell, kCoordCellBytes));
            if (value.contains(QLatin1Char(','))) m_pValidators[field]->AllowComma();
            FieldEdit(field)->setText(value);
        }
    }
}

void CEditDataDlg::accept() {
    if (!m_pList) return;
    TakeFields();
    // With no current row there is nothing to change.
    if (m_pList->RowExists(g_nCurRow)) {
        const QStringList cells = RowCells();
        for (int column = 0; column < 5; ++column)
            m_pList->SetCell(g_nCurRow, column, cells[column]);
    }
    QDialog::accept();
}

void RunCoordListEditing(const CViewTextAccess& view, QWidget* parent) {
    const std::string text = view.m_get ? view.m_get() : std::string();
    CCoordFormatDlg format(parent);
    if (RunEditDialog(format) != QDialog::Accepted) return;
    try {
        LoadCoordRecords(text, g_nEditFormat);
    } catch (const std::bad_alloc&) {
        ShowMessageBox(parent, QString::fromUtf8(edit_text::kNoData));
        return;
    }
    // A text that holds data but not one row of this format (LF line ends, a
    // header without commas) is not an empty list: writing one back would
    // throw the data away.
    if (g_nCoordCount == 0 && !text.empty()) {
        ShowMessageBox(parent, QString::fromUtf8(convert_msg::kBadTerv210));
        return;
    }
    CCoordListDlg list(view, parent);
    RunEditDialog(list);
}
