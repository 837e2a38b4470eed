// Choice of the coordinate edit format; sets g_nEditFormat as the radios are clicked.
#pragma once

#include <QDialog>

class QRadioButton;

class CCoordFormatDlg : public QDialog {
    Q_OBJECT
public:
    explicit CCoordFormatDlg(QWidget* parent = nullptr);
    QRadioButton* Terv210Radio() const { return m_pTerv210; }
    QRadioButton* Terv810Radio() const { return m_pTerv810; }

private:
    QRadioButton* m_pTerv210 = nullptr;  // radio 1003
    QRadioButton* m_pTerv810 = nullptr;  // radio 1004
};
