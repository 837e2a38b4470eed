#include "ui/EditListDlg.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>

#include "edit/EditListText.h"
#include "edit/EditState.h"
#include "ui/ListModel.h"

CEditListDlg::CEditListDlg(CViewTextAccess view, std::size_t cellBytes, QWidget* parent)
    : QDialog(parent), m_view(std::move(view)), m_cellBytes(cellBytes) {
    m_pList = new QTableView(this);
    m_pList->setObjectName(QStringLiteral("list1005"));
    m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pList->setShowGrid(true);
    m_pList->setWordWrap(false);
    m_pList->verticalHeader()->hide();
    // Report-view density: one text line per row, never measured row by row.
    m_pList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_pList->verticalHeader()->setDefaultSectionSize(m_pList->fontMetrics().height() + 6);
    m_pList->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_pList->horizontalHeader()->setStretchLastSection(false);
    m_pList->viewport()->installEventFilter(this);

    m_pAdd = new QPushButton(QString::fromUtf8("添 加"), this);
    m_pEdit = new QPushButton(QString::fromUtf8("编 辑"), this);
    m_pDelete = new QPushButton(QString::fromUtf8("删 除"), this);
    auto* ok = new QPushButton(QString::fromUtf8("确 定"), this);
    auto* cancel = new QPushButton(QString::fromUtf8("取 消"), this);
    for (QPushButton* button : {m_pAdd, m_pEdit, m_pDelete, cancel}) button->setAutoDefault(false);
    ok->setDefault(true);

    auto* frame = new QGroupBox(this);
    auto* buttons = new QVBoxLayout(frame);
    for (QPushButton* button : {m_pAdd, m_pEdit, m_pDelete, ok, cancel}) buttons->addWidget(button);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_pList, 1);
    layout->addWidget(frame);

    connect(m_pAdd, &QPushButton::clicked, this, &CEditListDlg::OnAdd);
    connect(m_pEdit, &QPushButton::clicked, this, &CEditListDlg::OnEdit);
    connect(m_pDelete, &QPushButton::clicked, this, &CEditListDlg::OnDelete);
    connect(ok, &QPushButton::clicked, this, &CEditListDlg::accept);
    connect(cancel, &QPushButton::clicked, this, &CEditListDlg::reject);
}

void CEditListDlg::SetUpList(const QStringList& headings, const std::vector<int>& widths,
                             std::vector<std::string> cells) {
    m_bSyncing = true;
    g_nCurRow = 0;
    m_pModel = new CListModel(headings, this);
    m_pModel->SetRows(std::move(cells));
    m_pList->setModel(m_pModel);
    for (int column = 0; column < headings.size(); ++column)
        m_pList->setColumnWidth(column, widths[static_cast<std::size_t>(column)]);
    // Keys move the selection too; the row acted on follows what is highlighted.
    connect(m_pList->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_bSyncing) g_nCurRow = SelectionMark();
    });
    m_bSyncing = false;
}

int CEditListDlg::RowCount() const {
    return m_pModel ? m_pModel->rowCount() : 0;
}

const std::string& CEditListDlg::RawCell(int row, int column) const {
    return m_pModel->Cell(row, column);
}

QString CEditListDlg::Cell(int row, int column) const {
    if (!RowExists(row) || column < 0 || column >= m_pModel->columnCount()) return {};
    return CellText(RawCell(row, column));
}

void CEditListDlg::SetCell(int row, int column, const QString& text) {
    if (m_pModel) m_pModel->SetCell(row, column, CellBytes(text));
}

void CEditListDlg::InsertRow(int index, const QStringList& cells) {
    if (!m_pModel) return;
    std::vector<std::string> bytes;
    for (const QString& cell : cells) bytes.push_back(CellBytes(cell));
    m_bSyncing = true;
    m_pModel->InsertRow(index, std::move(bytes));
    m_bSyncing = false;
}

std::string CEditListDlg::ListText() const {
    return m_pModel ? m_pModel->ListText(m_cellBytes) : std::string();
}

void CEditListDlg::WriteListToView() {
    if (m_view.m_set) m_view.m_set(ListText());
}

int CEditListDlg::SelectionMark() const {
    const QItemSelectionModel* selection = m_pList->selectionModel();
    if (!selection) return -1;
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CEditListDlg::ShowCurrentRow() {
    m_bSyncing = true;
    if (RowExists(g_nCurRow))
        m_pList->selectRow(g_nCurRow);
    else
        m_pList->clearSelection();
    m_bSyncing = false;
}

void CEditListDlg::OnAdd() {
    OpenAddDialog();
    ShowCurrentRow();
}

void CEditListDlg::OnEdit() {
    OpenEditDialog();
    ShowCurrentRow();
}

void CEditListDlg::OnDelete() {
    // Only a row that exists is removed, so the counter always equals the rows.
    if (g_nListRows >= 1 && RowExists(g_nCurRow)) {
        m_bSyncing = true;
        m_pModel->RemoveRow(g_nCurRow);
        m_bSyncing = false;
        g_nListRows = RowCount();
    }
    ShowCurrentRow();
}

void CEditListDlg::OnClickList() {
    g_nCurRow = SelectionMark();
}

void CEditListDlg::OnDblClkList() {
    OnClickList();
    if (g_nCurRow == -1)
        OnAdd();
    else
        OnEdit();
}

bool CEditListDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pList->viewport()) {
        if (event->type() == QEvent::MouseButtonRelease ||
            event->type() == QEvent::MouseButtonDblClick) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                // A click below the rows picks none.
                if (m_pList->rowAt(mouse->position().toPoint().y()) < 0) {
                    m_bSyncing = true;
                    m_pList->clearSelection();
                    m_bSyncing = false;
                }
                if (event->type() == QEvent::MouseButtonRelease) {
                    OnClickList();
                } else {
                    OnDblClkList();
                    return true;
                }
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CEditListDlg::accept() {
    if (!g_bNoUpdatePrompt) {
        std::unique_ptr<QDialog> prompt = MakeUpdatePrompt();
        if (RunEditDialog(*prompt) != QDialog::Accepted) return;
    }
    WriteListToView();
    QDialog::accept();
}

void CEditListDlg::reject() {
    QDialog::reject();
}
