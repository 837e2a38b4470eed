#include "ui/UsbSettingDlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/LinkSettings.h"
#include "config/SettingsFile.h"
#include "ui/ComSettingDlg.h"
#include "ui/DialogButtons.h"
#include "ui/MessageSeam.h"

CUsbSettingDlg::CUsbSettingDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("USB通讯参数设置"));
    setFont(QFont(QStringList{QStringLiteral("SimSun"), QStringLiteral("宋体")}, 10));
    setModal(true);

    m_recvTimeout = new QLineEdit(this);
    m_recvTimeout->setObjectName(QStringLiteral("ctl1024"));
    m_recvTimeout->setMaxLength(5);
    m_rowDelay = new QLineEdit(this);
    m_rowDelay->setObjectName(QStringLiteral("ctl1025"));
    m_rowDelay->setMaxLength(5);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("接收超时："), this), 0, 0);
    grid->addWidget(m_recvTimeout, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("秒"), this), 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("行间延时："), this), 1, 0);
    grid->addWidget(m_rowDelay, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("毫秒"), this), 1, 2);

    const COkCancel buttons = MakeOkCancel(*this, ButtonPlace::kRowRight, [this] { OnOK(); });
    // Here Enter on a focused 取消 cancels, as in the COM dialog.
    buttons.cancel->setAutoDefault(true);

    auto* main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addLayout(buttons.layout);

    OnInitDialog();
}

QWidget* CUsbSettingDlg::Control(int id) const {
    return findChild<QWidget*>(QStringLiteral("ctl%1").arg(id));
}

void CUsbSettingDlg::OnInitDialog() {
    // What the transfers use: a value never set shows as its default, not 0.
    const UsbSettingsRecord r = UsbSettingsInForce(UsbSettings.Get());
    m_strRecvTimeout = FormatSettingNumber(r.USBRevTimeOut / 1000);
    m_strRowDelay = FormatSettingNumber(r.USBRevRowDelay);
    m_recvTimeout->setText(m_strRecvTimeout);
    m_rowDelay->setText(m_strRowDelay);
    m_recvTimeout->setFocus();
}

void CUsbSettingDlg::OnOK() {
    m_strRecvTimeout = m_recvTimeout->text();
    m_strRowDelay = m_rowDelay->text();
    UsbSettingsRecord r = UsbSettings.Get();
    const char* message = nullptr;
    r.USBRevTimeOut = CheckedTimeoutMs(m_strRecvTimeout.toStdString(), &message);
    if (message) ShowMessageBox(this, QString::fromUtf8(message));
    r.USBRevRowDelay = CheckedRowDelay(m_strRowDelay.toStdString(), &message);
    if (message) ShowMessageBox(this, QString::fromUtf8(message));
    UsbSettings.Set(r);
    // The specified text first, then which file and why.
    if (int error = 0; !SaveUsbSettings(r, &error))
        ShowMessageBox(this, QString::fromUtf8(kMsgSaveConfigFailed) + '\n' +
                                 QString::fromStdString(SettingsErrorDetail(error)));
    accept();
}
