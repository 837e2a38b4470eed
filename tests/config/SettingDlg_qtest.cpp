#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <cstring>
#include <memory>

#include "TempCwd_support.h"
#include "config/ComSettingDlg.h"
#include "config/LinkSettings.h"
#include "config/SettingsFile.h"
#include "config/UsbSettingDlg.h"
#include "doc/MessageSeam.h"

class SettingDlgTest : public QObject {
    Q_OBJECT

    QStringList m_messages;
    std::unique_ptr<CTempCwd> m_cwd;

    static QRadioButton* Radio(const CComSettingDlg& dlg, int id) {
        return qobject_cast<QRadioButton*>(dlg.Control(id));
    }
    static QLineEdit* Edit(const QWidget* dlg, int id) {
        if (auto* c = qobject_cast<const CComSettingDlg*>(dlg))
            return qobject_cast<QLineEdit*>(c->Control(id));
        return qobject_cast<QLineEdit*>(qobject_cast<const CUsbSettingDlg*>(dlg)->Control(id));
    }
    static QList<int> Checked(const CComSettingDlg& dlg) {
        QList<int> ids;
        for (int id = 1001; id <= 1023; ++id)
            if (Radio(dlg, id)->isChecked()) ids << id;
        return ids;
    }
    static void ClickOk(QWidget* dlg) {
        auto* ok = dlg->findChild<QPushButton*>(QStringLiteral("ctl1"));
        QVERIFY(ok);
        QCOMPARE(ok->text(), QStringLiteral("确定"));
        QTest::mouseClick(ok, Qt::LeftButton);
    }

private slots:
    void init() {
        qunsetenv("JVS_COM_DIR");
        m_cwd = std::make_unique<CTempCwd>();
        ResetLinkSettings();
        m_messages.clear();
        SetMessageHook([this](const QString& text, EButtons) {
            m_messages << text;
            return EAnswer::Ok;
        });
    }
    void cleanup() {
        SetMessageHook({});
        ResetLinkSettings();
        m_cwd.reset();
    }

    void comDialogRightAfterStart() {
        CComSettingDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("COM通讯参数设置"));
        QCOMPARE(Checked(dlg), (QList<int>{1001, 1003, 1016, 1018, 1019, 1021}));
        QCOMPARE(Radio(dlg, 1001)->text(), QStringLiteral("None"));
        QCOMPARE(Radio(dlg, 1002)->text(), QStringLiteral("Ack/Nak"));
        QCOMPARE(Radio(dlg, 1008)->text(), QStringLiteral("COM6"));
        QCOMPARE(Radio(dlg, 1009)->text(), QStringLiteral("1200"));
        QCOMPARE(Radio(dlg, 1016)->text(), QStringLiteral("115200"));
        QCOMPARE(Radio(dlg, 1020)->text(), QStringLiteral("2"));
        QCOMPARE(Radio(dlg, 1022)->text(), QStringLiteral("奇"));
        QCOMPARE(Radio(dlg, 1023)->text(), QStringLiteral("偶"));
        QCOMPARE(Edit(&dlg, 1024)->text(), QStringLiteral("10 "));
        QCOMPARE(Edit(&dlg, 1025)->text(), QStringLiteral("200"));
        QCOMPARE(Edit(&dlg, 1024)->maxLength(), 5);
        QCOMPARE(dlg.m_strRecvTimeout, QStringLiteral("10 "));
        // Each port shows its device.
        auto* device = dlg.findChild<QLabel*>(QStringLiteral("device1005"));
        QVERIFY(device);
        QCOMPARE(device->text(), QStringLiteral("/dev/ttyUSB2"));
        qputenv("JVS_COM_DIR", "/tmp/ports");
        CComSettingDlg redirected;
        qunsetenv("JVS_COM_DIR");
        QCOMPARE(redirected.findChild<QLabel*>(QStringLiteral("device1008"))->text(),
                 QStringLiteral("/tmp/ports/COM6"));
    }

    void comDialogOkStoresChoicesAndWritesTheFile() {
        CComSettingDlg dlg;
        Radio(dlg, 1002)->setChecked(true);
        Radio(dlg, 1005)->setChecked(true);
        Radio(dlg, 1012)->setChecked(true);
        Radio(dlg, 1017)->setChecked(true);
        Radio(dlg, 1020)->setChecked(true);
        Radio(dlg, 1023)->setChecked(true);
        Edit(&dlg, 1024)->setText(QStringLiteral("5abc"));
        Edit(&dlg, 1025)->setText(QStringLiteral("30"));
        ClickOk(&dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(m_messages.isEmpty());
        ComSettingsRecord r = ComSettings.Get();
        QCOMPARE(int(r.Protol), 1);
        QCOMPARE(QString(r.COMPort), QStringLiteral("COM3"));
        QCOMPARE(r.Baudrate, 9600);
        QCOMPARE(int(r.DataBit), 7);
        QCOMPARE(int(r.StopBit), 2);
        QCOMPARE(int(r.CheckBit), 2);
        QCOMPARE(r.ReceiveTimeOut, 5000);
        QCOMPARE(r.RowDelay, 30);
        QCOMPARE(ReadFileBytes("jvs_cfg.ini"),
                 std::string("[JVSCOMSETTING]\r\nCOMPort=COM3\r\nBaudrate=9600\r\nCheckBit=2\r\n"
                             "DataBit=7\r\nProtol=1\r\nReceiveTimeOut=5000\r\nRowDelay=30\r\n"
                             "StopBit=2\r\n"));
    }

    void comDialogBadNumbersShowBothMessagesAndReplacements() {
        CComSettingDlg dlg;
        Edit(&dlg, 1024)->setText(QStringLiteral("0"));
        Edit(&dlg, 1025)->setText(QStringLiteral("10000"));
        ClickOk(&dlg);
        QCOMPARE(m_messages, (QStringList{QStringLiteral("请输入1到999的整数!"),
                                          QStringLiteral("请输入正的整数!")}));
        QCOMPARE(ComSettings.Get().ReceiveTimeOut, 10000);
        QCOMPARE(ComSettings.Get().RowDelay, 800);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(CIniFile(kSettingsFile).ReadString(kComSection, "RowDelay"), std::string("800"));
    }

    void comDialogAfterProbeFoundCom12() {
        ComSettings.Update([](ComSettingsRecord& r) { std::strcpy(r.COMPort, "COM12"); });
        {
            CComSettingDlg dlg;
            for (int id = 1003; id <= 1008; ++id) QVERIFY(!Radio(dlg, id)->isChecked());
            ClickOk(&dlg);
            QCOMPARE(QString(ComSettings.Get().COMPort), QStringLiteral("COM12"));
            QCOMPARE(CIniFile(kSettingsFile).ReadString(kComSection, "COMPort"),
                     std::string("COM12"));
        }
        CComSettingDlg dlg;
        Radio(dlg, 1004)->setChecked(true);
        ClickOk(&dlg);
        QCOMPARE(QString(ComSettings.Get().COMPort), QStringLiteral("COM2"));
    }

    void comDialogValuesOutsideTheGroupsLeaveThemUnchecked() {
        ComSettings.Update([](ComSettingsRecord& r) {
            r.Baudrate = 300;
            r.StopBit = 1;
            r.DataBit = 6;
            r.CheckBit = 4;
            r.Protol = 5;
            r.ReceiveTimeOut = 999000;
            r.RowDelay = 9999;
        });
        CComSettingDlg dlg;
        QCOMPARE(Checked(dlg), (QList<int>{1002, 1003}));
        QCOMPARE(Edit(&dlg, 1024)->text(), QStringLiteral("999"));
        QCOMPARE(Edit(&dlg, 1025)->text(), QStringLiteral("9999"));
        ClickOk(&dlg);
        ComSettingsRecord r = ComSettings.Get();
        QCOMPARE(r.Baudrate, 300);
        QCOMPARE(int(r.StopBit), 1);
        QCOMPARE(int(r.DataBit), 6);
        QCOMPARE(int(r.CheckBit), 4);
        QCOMPARE(int(r.Protol), 1);
    }

    void cancelChangesNothing() {
        CComSettingDlg dlg;
        Radio(dlg, 1008)->setChecked(true);
        Edit(&dlg, 1024)->setText(QStringLiteral("0"));
        auto* cancel = dlg.findChild<QPushButton*>(QStringLiteral("ctl2"));
        QCOMPARE(cancel->text(), QStringLiteral("取消"));
        QTest::mouseClick(cancel, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(QString(ComSettings.Get().COMPort), QStringLiteral("COM1"));
        QVERIFY(m_messages.isEmpty());
        QVERIFY(ReadFileBytes("jvs_cfg.ini").empty());
    }

    void usbDialogBeforeAnyChange() {
        CUsbSettingDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("USB通讯参数设置"));
        QCOMPARE(Edit(&dlg, 1024)->text(), QStringLiteral("0  "));
        QCOMPARE(Edit(&dlg, 1025)->text(), QStringLiteral("0  "));
        ClickOk(&dlg);
        QCOMPARE(m_messages, (QStringList{QStringLiteral("请输入1到999的整数!"),
                                          QStringLiteral("请输入正的整数!")}));
        QCOMPARE(UsbSettings.Get().USBRevTimeOut, 10000);
        QCOMPARE(UsbSettings.Get().USBRevRowDelay, 800);
        QCOMPARE(ReadFileBytes("jvs_cfg.ini"),
                 std::string("[JVSUSBSETTING]\r\nUSBRevRowDelay=800\r\nUSBRevTimeOut=10000\r\n"));
    }

    void failedSaveIsReported() {
        QVERIFY(QDir().mkdir(QStringLiteral("jvs_cfg.ini")));
        CComSettingDlg dlg;
        ClickOk(&dlg);
        // The specified text, then the file and the system's reason.
        const QString expected = QStringLiteral("保存配置文件失败!\n") + QDir::currentPath() +
                                 QStringLiteral("/jvs_cfg.ini: Is a directory");
        QCOMPARE(m_messages, QStringList{expected});
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        m_messages.clear();
        CUsbSettingDlg usb;
        Edit(&usb, 1024)->setText(QStringLiteral("3"));
        Edit(&usb, 1025)->setText(QStringLiteral("4"));
        ClickOk(&usb);
        QCOMPARE(m_messages, QStringList{expected});
        QCOMPARE(UsbSettings.Get().USBRevTimeOut, 3000);
    }
};

QTEST_MAIN(SettingDlgTest)
#include "SettingDlg_qtest.moc"
