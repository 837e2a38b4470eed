// Common part of the coordinate and code list dialogs: the table (a view of
// the rows, which draws only those on screen), the row bookkeeping shared
// through g_nListRows / g_nCurRow, delete, click and double-click, the update
// prompt and the write-back into the view.
#pragma once

#include <QDialog>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "ui/EditUi.h"

class CListModel;
class QTableView;
class QPushButton;

class CEditListDlg : public QDialog {
    Q_OBJECT
public:
    QTableView* List() const { return m_pList; }

    int RowCount() const;
    bool RowExists(int row) const { return row >= 0 && row < RowCount(); }
    QString Cell(int row, int column) const;
    void SetCell(int row, int column, const QString& text);
    void InsertRow(int index, const QStringList& cells);
    // The cell as the bytes of the view text (code page 936).
    const std::string& RawCell(int row, int column) const;
    // The rows as view text: cells cut to the field width, "," between, CR LF after.
    std::string ListText() const;
    void WriteListToView();
    // Row the user last picked by click or keys, -1 when none is selected.
    int SelectionMark() const;

public slots:
    void OnAdd();
    void OnEdit();
    void OnDelete();
    void OnClickList();
    void OnDblClkList();
    void accept() override;  // OnOK: update prompt, then write-back
    void reject() override;  // OnCancel: the view stays as it was

protected:
    CEditListDlg(CViewTextAccess view, std::size_t cellBytes, QWidget* parent);
    // Columns and rows (`cells`: the rows one after another, as bytes).
    void SetUpList(const QStringList& headings, const std::vector<int>& widths,
                   std::vector<std::string> cells);
    // Highlights g_nCurRow so the row that edit and delete act on is the one shown.
    void ShowCurrentRow();
    bool eventFilter(QObject* watched, QEvent* event) override;

    virtual void OpenAddDialog() = 0;
    virtual void OpenEditDialog() = 0;
    virtual std::unique_ptr<QDialog> MakeUpdatePrompt() = 0;

private:
    CViewTextAccess m_view;
    std::size_t m_cellBytes;
    QTableView* m_pList = nullptr;
    CListModel* m_pModel = nullptr;
    QPushButton* m_pAdd = nullptr;
    QPushButton* m_pEdit = nullptr;
    QPushButton* m_pDelete = nullptr;
    bool m_bSyncing = false;
};
