// The code list (caption "编码") and its add and edit dialogs.
#pragma once

#include <QDialog>
#include <QPointer>

#include "ui/EditListDlg.h"

class QLineEdit;

class CCodeListDlg : public CEditListDlg {
    Q_OBJECT
public:
    // Shows g_pCodeRecords.
    explicit CCodeListDlg(CViewTextAccess view, QWidget* parent = nullptr);

protected:
    void OpenAddDialog() override;
    void OpenEditDialog() override;
    std::unique_ptr<QDialog> MakeUpdatePrompt() override;

private:
    void OnInitDialog();
};

class CCodeDataDlg : public QDialog {
    Q_OBJECT
public:
    QLineEdit* NumberEdit() const { return m_pNumber; }
    QLineEdit* CodeEdit() const { return m_pCode; }
    int CheckInput();  // 0 ok, 1 number empty, 2 code empty
    QString m_strNumber, m_strCode;

protected:
    CCodeDataDlg(const char* caption, const char* numberLabel, CCodeListDlg* list, QWidget* parent);
    // The emptiness checks with their messages; false keeps the dialog open.
    bool InputAccepted();
    QPointer<CCodeListDlg> m_pList;

private:
    QLineEdit* m_pNumber = nullptr;  // edit 1024
    QLineEdit* m_pCode = nullptr;    // edit 1026
};

class CAddCodeDlg : public CCodeDataDlg {
    Q_OBJECT
public:
    explicit CAddCodeDlg(CCodeListDlg* list, QWidget* parent = nullptr);
    void accept() override;
};

class CEditCodeDlg : public CCodeDataDlg {
    Q_OBJECT
public:
    explicit CEditCodeDlg(CCodeListDlg* list, QWidget* parent = nullptr);
    void accept() override;
};

// The whole command: reading the view, the list dialog.
void RunCodeListEditing(const CViewTextAccess& view, QWidget* parent);
