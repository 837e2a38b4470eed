// The COM settings dialog: line protocol, port, baud rate, data bits, stop
// bits, parity, receive time-out (seconds) and row delay (milliseconds).
// Besides COM1..COM6 the port may be any serial device: one of those present
// (by-id names, ttyUSB*, ttyACM*, rfcomm*, ttyS*) or a path typed in.
// OK checks the device path and the two numbers, stores everything in
// ComSettings and writes the settings file.
#pragma once

#include <QDialog>
#include <QString>

class QButtonGroup;
class QGroupBox;
class QComboBox;
class QLineEdit;

class CComSettingDlg : public QDialog {
    Q_OBJECT
public:
    explicit CComSettingDlg(QWidget* parent = nullptr);

    QString m_strRecvTimeout;
    QString m_strRowDelay;

    // Control by its id (1001..1025; the device radio, list and path field
    // are 1040..1042), for the window and the tests.
    QWidget* Control(int id) const;

public slots:
    void OnOK();

private:
    void OnInitDialog();
    QGroupBox* PortGroup();
    QButtonGroup* m_protocol;
    QButtonGroup* m_port;
    QButtonGroup* m_baud;
    QButtonGroup* m_dataBits;
    QButtonGroup* m_stopBits;
    QButtonGroup* m_parity;
    QComboBox* m_devices;
    QLineEdit* m_devicePath;
    QLineEdit* m_recvTimeout;
    QLineEdit* m_rowDelay;
};

// "%-3d": left-aligned, padded with blanks to three characters.
QString FormatSettingNumber(int value);
