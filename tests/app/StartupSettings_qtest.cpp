// The window's start-up load of the settings file: values taken by name, and
// values no dialog could have written named in one message.
#include <QDir>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "app/CommunicationApp.h"
#include "config/LinkSettings.h"
#include "doc/MessageSeam.h"

class CStartupSettingsTest : public QObject {
    Q_OBJECT
private slots:
    void replacedValuesAreNamedOnceAtStartup() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("cfg"));
        QDir::setCurrent(dir.path());
        qunsetenv("JVS_SETTINGS");
        std::ofstream(QDir(dir.path()).filePath("jvs_cfg.ini").toStdString(), std::ios::binary)
            << "[JVSCOMSETTING]\r\n; my instrument\r\nRowDelay=99999999\r\nCOMPort=COM3\r\n"
               "Baudrate=11520\r\n";
        QStringList messages;
        SetMessageHook([&messages](const QString& text, EButtons) {
            messages << text;
            return EAnswer::Ok;
        });
        {
            CCommunicationApp app;
            StartOptions options;
            options.showSplash = false;
            options.startupWait = false;
            QVERIFY(app.InitInstance(options));
            QCOMPARE(messages,
                     QStringList{QString::fromUtf8("配置文件中的参数无效,已改用默认值!\n") +
                                 QDir::currentPath() +
                                 QStringLiteral("/jvs_cfg.ini: Baudrate, RowDelay")});
            const ComSettingsRecord r = ComSettings.Get();
            QCOMPARE(QString(r.COMPort), QStringLiteral("COM3"));
            QCOMPARE(r.Baudrate, 115200);
            QCOMPARE(r.RowDelay, 200);
        }
        SetMessageHook({});
    }
};

QTEST_MAIN(CStartupSettingsTest)
#include "StartupSettings_qtest.moc"
