#include <sys/stat.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <cstring>
#include <filesystem>
#include <functional>

#include "TempCwd_support.h"
#include "config/LinkSettings.h"
#include "config/SettingsFile.h"
#include "ui/ComSettingDlg.h"
#include "ui/MessageSeam.h"
#include "ui/UsbSettingDlg.h"

class SettingDlgTest : public QObject {
    Q_OBJECT

    QStringList m_messages;
    std::unique_ptr<CTempCwd> m_cwd;
    std::unique_ptr<CTempDevRoot> m_dev;

    // Both dialogs name their controls "ctl<id>".
    template <class T = QLineEdit>
    static T* Ctl(const QWidget* dlg, int id) {
        auto* control = dlg->findChild<T*>(QStringLiteral("ctl%1").arg(id));
        [&] { QVERIFY(control); }();
        return control;
    }
    static void ClickOk(QWidget* dlg) {
        QTest::mouseClick(Ctl<QPushButton>(dlg, 1), Qt::LeftButton);
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

    void comDialogOkWritesWhatItShowsAndWhatWasChosen() {
        const struct {
            ComSettingsRecord held;
            std::function<void(CComSettingDlg&)> choose;
            std::string file;
            QStringList messages;
        } cases[] = {
            {{},
             [](CComSettingDlg& dlg) {
                 for (int id : {1002, 1005, 1012, 1017, 1020, 1023})
                     Ctl<QRadioButton>(&dlg, id)->setChecked(true);
                 Ctl(&dlg, 1024)->setText(QStringLiteral("5abc"));
                 Ctl(&dlg, 1025)->setText(QStringLiteral("30"));
             },
             "[JVSCOMSETTING]\r\nCOMPort=COM3\r\nBaudrate=9600\r\nCheckBit=2\r\n"
             "DataBit=7\r\nProtol=1\r\nReceiveTimeOut=5000\r\nRowDelay=30\r\nStopBit=2\r\n",
             {}},
            // What was in force (a port the probe found, values from a
            // hand-edited file) is written back by OK exactly.
            {{.Protol = 5,
              .COMPort = "COM12",
              .Baudrate = 300,
              .DataBit = 6,
              .StopBit = 1,
              .CheckBit = 4,
              .ReceiveTimeOut = 999000,
              .RowDelay = 9999},
             [](CComSettingDlg&) {},
             "[JVSCOMSETTING]\r\nCOMPort=COM12\r\nBaudrate=300\r\nCheckBit=4\r\n"
             "DataBit=6\r\nProtol=1\r\nReceiveTimeOut=999000\r\nRowDelay=9999\r\nStopBit=1\r\n",
             {}},
            // Bad numbers: both said, both replaced.
            {{},
             [](CComSettingDlg& dlg) {
                 Ctl(&dlg, 1024)->setText(QStringLiteral("0"));
                 Ctl(&dlg, 1025)->setText(QStringLiteral("10000"));
             },
             "[JVSCOMSETTING]\r\nCOMPort=COM1\r\nBaudrate=115200\r\nCheckBit=0\r\nDataBit=8\r\n"
             "Protol=0\r\nReceiveTimeOut=10000\r\nRowDelay=800\r\nStopBit=0\r\n",
             {QStringLiteral("请输入1到999的整数!"), QStringLiteral("请输入正的整数!")}},
        };
        for (const auto& c : cases) {
            ComSettings.Update([&c](ComSettingsRecord& r) { r = c.held; });
            CComSettingDlg dlg;
            c.choose(dlg);
            m_messages.clear();
            ClickOk(&dlg);
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            QCOMPARE(m_messages, c.messages);
            QCOMPARE(ReadFileBytes("jvs_cfg.ini"), c.file);
        }
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
            QVERIFY(Ctl<QRadioButton>(&dlg, 1040)->isChecked());
            QCOMPARE(Ctl(&dlg, 1042)->text(), QString::fromStdString(typed));
            auto* list = Ctl<QComboBox>(&dlg, 1041);
            QCOMPARE(list->count(), 2);
            QVERIFY(list->itemText(1).contains(QStringLiteral("蓝牙串口")));
            Ctl<QRadioButton>(&dlg, 1003)->setChecked(true);
            emit list->activated(1);
            QVERIFY(Ctl<QRadioButton>(&dlg, 1040)->isChecked());
            ClickOk(&dlg);
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
        }
        std::string expected = kDefaultsFile;
        expected.replace(expected.find("COM1"), 4, rfcomm);
        QCOMPARE(ReadFileBytes("jvs_cfg.ini"), expected);
        // A stored device that is unplugged just now is kept; a new path must be
        // a device (which paths are is the port names' test).
        fs::remove(rfcomm);
        const std::string fifo = *m_dev / "fifo";
        QVERIFY(mkfifo(fifo.c_str(), 0600) == 0);
        CComSettingDlg dlg;
        Ctl(&dlg, 1042)->setText(QString::fromStdString(fifo));
        ClickOk(&dlg);
        QCOMPARE(m_messages,
                 QStringList{QStringLiteral("该路径不是串口设备!\n") +
                             QString::fromStdString(fifo + ": a FIFO, not a serial device")});
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(QString(ComSettings.Get().COMPort), QString::fromStdString(rfcomm));
        Ctl(&dlg, 1042)->setText(QString::fromStdString(rfcomm));
        ClickOk(&dlg);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }

    void cancelChangesNothing() {
        CComSettingDlg dlg;
        Ctl<QRadioButton>(&dlg, 1008)->setChecked(true);
        Ctl(&dlg, 1024)->setText(QStringLiteral("0"));
        QTest::mouseClick(Ctl<QPushButton>(&dlg, 2), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(QString(ComSettings.Get().COMPort), QStringLiteral("COM1"));
        QVERIFY(m_messages.isEmpty());
        QVERIFY(ReadFileBytes("jvs_cfg.ini").empty());
    }

    void usbDialogBeforeAnyChange() {
        CUsbSettingDlg dlg;
        // 0 means never set: the dialog shows the values in force and takes them.
        QCOMPARE(Ctl(&dlg, 1024)->text().trimmed(), QStringLiteral("10"));
        QCOMPARE(Ctl(&dlg, 1025)->text().trimmed(), QStringLiteral("800"));
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
        Ctl(&usb, 1024)->setText(QStringLiteral("3"));
        Ctl(&usb, 1025)->setText(QStringLiteral("4"));
        ClickOk(&usb);
        QCOMPARE(m_messages, QStringList{expected});
        QCOMPARE(UsbSettings.Get().USBRevTimeOut, 3000);
    }
};

QTEST_MAIN(SettingDlgTest)
#include "SettingDlg_qtest.moc"
