#include "ui/ComSettingDlg.h"

#include <unistd.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "config/LinkSettings.h"
#include "config/SettingsFile.h"
#include "link/PortNames.h"
#include "ui/DialogButtons.h"
#include "ui/MessageSeam.h"

namespace {

const char* const kPorts[] = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6"};
constexpr int kDeviceRadio = 1040, kDeviceList = 1041, kDevicePathEdit = 1042;

QString ControlName(int id) {
    return QStringLiteral("ctl%1").arg(id);
}

QRadioButton* AddRadio(QButtonGroup* group, QWidget* parent, int id, const QString& text) {
    auto* radio = new QRadioButton(text, parent);
    radio->setObjectName(ControlName(id));
    group->addButton(radio, id);
    return radio;
}

// Checks the radio with that id, or none when the id is 0.
void CheckOnly(QButtonGroup* group, int id) {
    if (QAbstractButton* b = group->button(id)) b->setChecked(true);
}

QGroupBox* RadioGroup(QWidget* parent, const QString& title, QButtonGroup* group, int firstId,
                      const QStringList& texts, int columns) {
    auto* box = new QGroupBox(title, parent);
    auto* grid = new QGridLayout(box);
    for (int i = 0; i < texts.size(); ++i)
        grid->addWidget(AddRadio(group, box, firstId + i, texts[i]), i / columns, i % columns);
    return box;
}

QLineEdit* NumberEdit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(ControlName(id));
    edit->setMaxLength(5);
    return edit;
}

}  // namespace

QString FormatSettingNumber(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "%-3d", value);
    return QString::fromLatin1(text);
}

// The six COM names, each with the device it stands for on this machine, and
// any other serial device: one of those present, or a path typed in.
QGroupBox* CComSettingDlg::PortGroup() {
    auto* portBox = new QGroupBox(QStringLiteral("通讯口"), this);
    auto* portGrid = new QGridLayout(portBox);
    for (int i = 0; i < 6; ++i) {
        QRadioButton* radio = AddRadio(m_port, portBox, 1003 + i, QString::fromLatin1(kPorts[i]));
        std::string device = ResolvePortName(kPorts[i]);
        auto* label = new QLabel(
            device.empty() ? QStringLiteral("-") : QString::fromStdString(device), portBox);
        label->setObjectName(QStringLiteral("device%1").arg(1003 + i));
        label->setEnabled(false);
        radio->setToolTip(label->text());
        portGrid->addWidget(radio, i, 0);
        portGrid->addWidget(label, i, 1);
    }
    QRadioButton* deviceRadio =
        AddRadio(m_port, portBox, kDeviceRadio, QStringLiteral("其他串口设备："));
    m_devices = new QComboBox(portBox);
    m_devices->setObjectName(ControlName(kDeviceList));
    const std::vector<CPortEntry> devices = ListSerialDevices();
    m_devices->addItem(devices.empty() ? QStringLiteral("(未发现串口设备)")
                                       : QStringLiteral("(选择串口设备)"));
    for (const CPortEntry& d : devices) {
        const QString path = QString::fromStdString(d.name);
        QString shown = QString::fromStdString(d.readable);
        shown += QStringLiteral(" (") + path;
        if (d.device != d.name) shown += QStringLiteral(" -> ") + QString::fromStdString(d.device);
        m_devices->addItem(shown + ')', path);
    }
    m_devicePath = new QLineEdit(portBox);
    m_devicePath->setObjectName(ControlName(kDevicePathEdit));
    m_devicePath->setPlaceholderText(QStringLiteral("/dev/..."));
    m_devicePath->setMaxLength(static_cast<int>(sizeof ComSettingsRecord{}.COMPort) - 1);
    connect(m_devices, &QComboBox::activated, this, [this, deviceRadio](int index) {
        if (index <= 0) return;
        m_devicePath->setText(m_devices->itemData(index).toString());
        deviceRadio->setChecked(true);
    });
    connect(m_devicePath, &QLineEdit::textEdited, deviceRadio,
            [deviceRadio] { deviceRadio->setChecked(true); });
    portGrid->addWidget(deviceRadio, kDialogComPorts, 0, 1, 2);
    portGrid->addWidget(m_devices, kDialogComPorts + 1, 0, 1, 2);
    portGrid->addWidget(m_devicePath, kDialogComPorts + 2, 0, 1, 2);
    return portBox;
}

CComSettingDlg::CComSettingDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("COM通讯参数设置"));
    setFont(QFont(QStringList{QStringLiteral("SimSun"), QStringLiteral("宋体")}, 9));
    setModal(true);

    m_protocol = new QButtonGroup(this);
    m_port = new QButtonGroup(this);
    m_baud = new QButtonGroup(this);
    m_dataBits = new QButtonGroup(this);
    m_stopBits = new QButtonGroup(this);
    m_parity = new QButtonGroup(this);

    auto* protocol = RadioGroup(this, QStringLiteral("协议"), m_protocol, 1001,
                                {QStringLiteral("None"), QStringLiteral("Ack/Nak")}, 1);

    QGroupBox* portBox = PortGroup();

    QStringList baudTexts;
    for (int b : kBaudRates) baudTexts << QString::number(b);
    auto* baud = RadioGroup(this, QStringLiteral("波特率"), m_baud, 1009, baudTexts, 2);
    auto* dataBits = RadioGroup(this, QStringLiteral("数据位"), m_dataBits, 1017,
                                {QStringLiteral("7"), QStringLiteral("8")}, 2);
    auto* stopBits = RadioGroup(this, QStringLiteral("停止位"), m_stopBits, 1019,
                                {QStringLiteral("1"), QStringLiteral("2")}, 2);
    auto* parity =
        RadioGroup(this, QStringLiteral("校验"), m_parity, 1021,
                   {QStringLiteral("无"), QStringLiteral("奇"), QStringLiteral("偶")}, 3);

    m_recvTimeout = NumberEdit(this, 1024);
    m_rowDelay = NumberEdit(this, 1025);

    auto* grid = new QGridLayout;
    grid->addWidget(protocol, 0, 0);
    grid->addWidget(portBox, 0, 1, 2, 1);
    grid->addWidget(baud, 1, 0);
    auto* right = new QVBoxLayout;
    right->addWidget(dataBits);
    right->addWidget(stopBits);
    right->addWidget(parity);
    grid->addLayout(right, 0, 2, 2, 1);

    auto* numbers = new QGridLayout;
    numbers->addWidget(new QLabel(QStringLiteral("接收超时："), this), 0, 0);
    numbers->addWidget(m_recvTimeout, 0, 1);
    numbers->addWidget(new QLabel(QStringLiteral("秒"), this), 0, 2);
    numbers->addWidget(new QLabel(QStringLiteral("行间延时："), this), 1, 0);
    numbers->addWidget(m_rowDelay, 1, 1);
    numbers->addWidget(new QLabel(QStringLiteral("毫秒"), this), 1, 2);

    const COkCancel buttons = MakeOkCancel(*this, ButtonPlace::kRowRight, [this] { OnOK(); });

    auto* bottom = new QHBoxLayout;
    bottom->addLayout(numbers);
    bottom->addStretch();
    bottom->addLayout(buttons.layout);

    auto* main = new QVBoxLayout(this);
    main->addLayout(grid);
    main->addLayout(bottom);

    OnInitDialog();
}

QWidget* CComSettingDlg::Control(int id) const {
    return findChild<QWidget*>(ControlName(id));
}

void CComSettingDlg::OnInitDialog() {
    const ComSettingsRecord r = ComSettings.Get();
    CheckOnly(m_protocol, r.Protol != 0 ? 1002 : 1001);
    for (int i = 0; i < 6; ++i)
        if (std::strcmp(r.COMPort, kPorts[i]) == 0) CheckOnly(m_port, 1003 + i);
    // A device path in force is shown as the other device (COM7..COM16 tick nothing).
    if (r.COMPort[0] == '/') {
        CheckOnly(m_port, kDeviceRadio);
        const QString path = QString::fromUtf8(r.COMPort);
        m_devicePath->setText(path);
        m_devices->setCurrentIndex(std::max(0, m_devices->findData(path)));
    }
    for (int i = 0; i < 8; ++i)
        if (r.Baudrate == kBaudRates[i]) CheckOnly(m_baud, 1009 + i);
    if (r.DataBit == 7) CheckOnly(m_dataBits, 1017);
    if (r.DataBit == 8) CheckOnly(m_dataBits, 1018);
    if (r.StopBit == 0) CheckOnly(m_stopBits, 1019);
    if (r.StopBit == 2) CheckOnly(m_stopBits, 1020);
    if (r.CheckBit >= 0 && r.CheckBit <= 2) CheckOnly(m_parity, 1021 + r.CheckBit);

    m_strRecvTimeout = FormatSettingNumber(r.ReceiveTimeOut / 1000);
    m_strRowDelay = FormatSettingNumber(r.RowDelay);
    m_recvTimeout->setText(m_strRecvTimeout);
    m_rowDelay->setText(m_strRowDelay);
    if (QAbstractButton* first = m_protocol->button(1001)) first->setFocus();
}

void CComSettingDlg::OnOK() {
    // A device that is not one keeps the dialog open, nothing changed.
    const std::string device = m_devicePath->text().trimmed().toStdString();
    if (m_port->checkedId() == kDeviceRadio) {
        // The device in force may be unplugged just now; a new one must be there.
        std::string problem = DevicePathProblem(device);
        if (device == ComSettings.Get().COMPort && access(device.c_str(), F_OK) != 0 &&
            errno == ENOENT)
            problem.clear();
        if (!problem.empty()) {
            ShowMessageBox(this, QString::fromUtf8(kMsgNotSerialDevice) + '\n' +
                                     QString::fromStdString(device + ": " + problem));
            m_devicePath->setFocus();
            return;
        }
    }
    m_strRecvTimeout = m_recvTimeout->text();
    m_strRowDelay = m_rowDelay->text();

    ComSettingsRecord r = ComSettings.Get();
    if (int id = m_protocol->checkedId(); id > 0) r.Protol = id == 1002 ? 1 : 0;
    if (m_port->checkedId() == kDeviceRadio) {
        std::memset(r.COMPort, 0, sizeof r.COMPort);
        std::snprintf(r.COMPort, sizeof r.COMPort, "%s", device.c_str());
    } else if (int id = m_port->checkedId(); id > 0) {
        std::memset(r.COMPort, 0, sizeof r.COMPort);
        std::snprintf(r.COMPort, sizeof r.COMPort, "%s", kPorts[id - 1003]);
    }
    if (int id = m_baud->checkedId(); id > 0) r.Baudrate = kBaudRates[id - 1009];
    if (int id = m_dataBits->checkedId(); id > 0) r.DataBit = id == 1017 ? 7 : 8;
    if (int id = m_stopBits->checkedId(); id > 0) r.StopBit = id == 1019 ? 0 : 2;
    if (int id = m_parity->checkedId(); id > 0) r.CheckBit = static_cast<int8_t>(id - 1021);

    const char* message = nullptr;
    r.ReceiveTimeOut = CheckedTimeoutMs(m_strRecvTimeout.toStdString(), &message);
    if (message) ShowMessageBox(this, QString::fromUtf8(message));
    r.RowDelay = CheckedRowDelay(m_strRowDelay.toStdString(), &message);
    if (message) ShowMessageBox(this, QString::fromUtf8(message));

    ComSettings.Set(r);
    // The specified text first, then which file and why.
    if (int error = 0; !SaveComSettings(r, &error))
        ShowMessageBox(this, QString::fromUtf8(kMsgSaveConfigFailed) + '\n' +
                                 QString::fromStdString(SettingsErrorDetail(error)));
    accept();
}
