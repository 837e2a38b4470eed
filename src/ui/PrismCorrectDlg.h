// Prism constant correction dialog (caption "坐标校正"); constants in millimetres.
#pragma once

#include <QDialog>

#include "ui/EditUi.h"

class QLineEdit;

class CPrismCorrectDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPrismCorrectDlg(CViewTextAccess view, QWidget* parent = nullptr);
    QLineEdit* OldConstEdit() const { return m_pOld; }
    QLineEdit* NewConstEdit() const { return m_pNew; }
    // Rewrites the view text, or leaves it exactly as it was after a message.
    void ApplyCorrection();
    void accept() override;  // OnOK: correct, then close in every case

    QString m_strOldConst, m_strNewConst;

private:
    CViewTextAccess m_view;
    QLineEdit* m_pOld = nullptr;  // edit 1024
    QLineEdit* m_pNew = nullptr;  // edit 1025
};

void RunPrismCorrection(const CViewTextAccess& view, QWidget* parent);
