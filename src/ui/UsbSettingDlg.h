// The USB settings dialog: receive time-out (seconds) and row delay
// (milliseconds); OK checks them like the COM dialog and writes the file.
#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

class CUsbSettingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CUsbSettingDlg(QWidget* parent = nullptr);

    QString m_strRecvTimeout;
    QString m_strRowDelay;

    QWidget* Control(int id) const;

public slots:
    void OnOK();

private:
    void OnInitDialog();
    QLineEdit* m_recvTimeout;
    QLineEdit* m_rowDelay;
};
