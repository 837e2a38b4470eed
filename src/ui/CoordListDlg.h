// The coordinate list (caption "坐标") and its add and edit dialogs.
#pragma once

#include <QDialog>
#include <QPointer>

#include "ui/EditListDlg.h"

class QLineEdit;

class CCoordListDlg : public CEditListDlg {
    Q_OBJECT
public:
    // Shows g_pCoordRecords in the layout of g_nEditFormat.
    explicit CCoordListDlg(CViewTextAccess view, QWidget* parent = nullptr);

protected:
    void OpenAddDialog() override;
    void OpenEditDialog() override;
    std::unique_ptr<QDialog> MakeUpdatePrompt() override;

private:
    void OnInitDialog();
};

// The five fields of a coordinate, keyed by record field (EditListText.h).
class CCoordDataDlg : public QDialog {
    Q_OBJECT
public:
    QLineEdit* FieldEdit(int field) const { return m_pEdits[field]; }
    QString m_strName, m_strE, m_strN, m_strZ, m_strCode;

protected:
    CCoordDataDlg(const char* caption, CCoordListDlg* list, QWidget* parent);
    void TakeFields();
    QString FieldValue(int field) const;
    QStringList RowCells() const;  // in list column order
    QPointer<CCoordListDlg> m_pList;
    CFieldValidator* m_pValidators[5] = {};

private:
    QLineEdit* m_pEdits[5] = {};
};

class CAddDataDlg : public CCoordDataDlg {
    Q_OBJECT
public:
    explicit CAddDataDlg(CCoordListDlg* list, QWidget* parent = nullptr);
    int CheckInput();  // 0 ok, 1 point name empty, 2 code empty
    void accept() override;
};

class CEditDataDlg : public CCoordDataDlg {
    Q_OBJECT
public:
    explicit CEditDataDlg(CCoordListDlg* list, QWidget* parent = nullptr);
    void accept() override;
};

// The whole command: format choice, reading the view, the list dialog.
void RunCoordListEditing(const CViewTextAccess& view, QWidget* parent);
