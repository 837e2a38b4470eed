#include <sys/stat.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <cstring>
#include <filesystem>
#include <memory>

#include "TempCwd_support.h"
#include "config/LinkSettings.h"
#include "config/SettingsFile.h"
#include "ui/ComSettingDlg.h"
#include "ui/MessageSeam.h"
#include "ui/UsbSettingDlg.h"

class SettingDlgTest : public QObject {
    Q_OBJECT

    const QStringList kBothReplaced{QStringLiteral("请输入1到999的整数!"),
                                    QStringLiteral("请输入正的整数!")};
    QStringList m_messages;
    std::unique_ptr<CTempCwd> m_cwd;
    std::unique_ptr<CTempDevRoot> m_dev;

    static QRadioButton* Radio(const CComSettingDlg& dlg, int id) {
        return qobject_cast<QRadioButton*>(dlg.Control(id));
    }
    static QLineEdit* Edit(const QWidget* dlg, int id) {
        if (auto* c = qobject_cast<const CComSettingDlg*>(dlg))
            return qobject_cast<QLineEdit*>(c->Control(id));
        return qobject_cast<QLineEdit*>(qobject_cast<const CUsbSettingDlg*>(dlg)->Control(id));
    }
    static void ClickOk(QWidget* dlg) {
        auto* ok = dlg->findChild<QPushButton*>(QStringLiteral("ctl1"));
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
    }

private slots:
    void init() {
        qunsetenv("JVS_COM_DIR");
        m_cwd = std::make_unique<CTempCwd>();
        m_dev = std::make_unique<CTempDevRoot>();
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
        m_dev.reset();
        m_cwd.reset();
    }

    void comDialogShowsTheSettingsItHolds() {
        // OK right after start writes back exactly what was in force.
        CComSettingDlg dlg;
        ClickOk(&dlg);
        QCOMPARE(ReadFileBytes("jvs_cfg.ini"), std::string(kDefaultsFile));
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
        QCOMPARE(ComSettings.Get().ReceiveTimeOut, 5000);
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
        QCOMPARE(m_messages, kBothReplaced);
        QCOMPARE(ComSettings.Get().ReceiveTimeOut, 10000);
        QVERIFY(ReadFileBytes("jvs_cfg.ini").find("\r\nRowDelay=800\r\n") != std::string::npos);
    }

    void comDialogKeepsValuesItCannotShow() {
        // A port the probe found, or values from a hand-edited file, survive OK.
        ComSettings.Update([](ComSettingsRecord& r) {
            std::strcpy(r.COMPort, "COM12");
            r.Baudrate = 300;
            r.StopBit = 1;
            r.DataBit = 6;
            r.CheckBit = 4;
            r.Protol = 5;
            r.ReceiveTimeOut = 999000;
            r.RowDelay = 9999;
        });
        CComSettingDlg dlg;
        ClickOk(&dlg);
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(ReadFileBytes("jvs_cfg.ini"),
                 std::string("[JVSCOMSETTING]\r\nCOMPort=COM12\r\nBaudrate=300\r\nCheckBit=4\r\n"
                             "DataBit=6\r\nProtol=1\r\nReceiveTimeOut=999000\r\nRowDelay=9999\r\n"
                             "StopBit=1\r\n"));
    }

    void anySerialDeviceIsAPort() {
        // Character devices stand in for ports: the dialog never opens one.
        namespace fs = std::filesystem;
        const std::string rfcomm = *m_dev / "rfcomm0", typed = *m_dev / "串口 一";
        fs::create_symlink("/dev/null", rfcomm);
        fs::create_symlink("/dev/null", typed);
        ComSettings.Update([&](ComSettingsRecord& r) { std::strcpy(r.COMPort, typed.c_str()); });
        {
            // The path in force is shown; one from the list replaces it.
            CComSettingDlg dlg;
            QVERIFY(Radio(dlg, 1040)->isChecked());
            QCOMPARE(Edit(&dlg, 1042)->text(), QString::fromStdString(typed));
            auto* list = qobject_cast<QComboBox*>(dlg.Control(1041));
            QCOMPARE(list->count(), 2);
            QVERIFY(list->itemText(1).contains(QStringLiteral("蓝牙串口")));
            Radio(dlg, 1003)->setChecked(true);
            emit list->activated(1);
            QVERIFY(Radio(dlg, 1040)->isChecked());
            ClickOk(&dlg);
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        std::string expected = kDefaultsFile;
        expected.replace(expected.find("COM1"), 4, rfcomm);
        QCOMPARE(ReadFileBytes("jvs_cfg.ini"), expected);
        // A stored device that is unplugged just now is kept; a new path must be
        // a device (which paths are is the port names' test).
        fs::remove(rfcomm);
        QVERIFY(mkfifo((*m_dev / "fifo").c_str(), 0600) == 0);
        const std::pair<std::string, const char*> refused[] = {
            {*m_dev / "fifo", "a FIFO, not a serial device"}, {rfcomm, ""}};
        for (const auto& [path, reason] : refused) {
            m_messages.clear();
            CComSettingDlg dlg;
            Edit(&dlg, 1042)->setText(QString::fromStdString(path));
            ClickOk(&dlg);
            if (*reason) {
                QCOMPARE(m_messages, QStringList{QStringLiteral("该路径不是串口设备!\n") +
                                                 QString::fromStdString(path + ": " + reason)});
                QCOMPARE(dlg.result(), int(QDialog::Rejected));
                QCOMPARE(QString(ComSettings.Get().COMPort), QString::fromStdString(rfcomm));
            } else {
                QCOMPARE(dlg.result(), int(QDialog::Accepted));
            }
        }
    }

    void cancelChangesNothing() {
        CComSettingDlg dlg;
        Radio(dlg, 1008)->setChecked(true);
        Edit(&dlg, 1024)->setText(QStringLiteral("0"));
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("ctl2")), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(QString(ComSettings.Get().COMPort), QStringLiteral("COM1"));
        QVERIFY(m_messages.isEmpty());
        QVERIFY(ReadFileBytes("jvs_cfg.ini").empty());
    }

    void usbDialogBeforeAnyChange() {
        CUsbSettingDlg dlg;
        // 0 means never set: the dialog shows the values in force and takes them.
        QCOMPARE(Edit(&dlg, 1024)->text().trimmed(), QStringLiteral("10"));
        QCOMPARE(Edit(&dlg, 1025)->text().trimmed(), QStringLiteral("800"));
        ClickOk(&dlg);
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(ReadFileBytes("jvs_cfg.ini"),
                 std::string("[JVSUSBSETTING]\r\nUSBRevRowDelay=800\r\nUSBRevTimeOut=10000\r\n"));
    }

    void failedSaveIsReported() {
        QVERIFY(QDir().mkdir(QStringLiteral("jvs_cfg.ini")));
        CComSettingDlg dlg;
        ClickOk(&dlg);
        // The program's own text, then the file and the system's reason.
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
