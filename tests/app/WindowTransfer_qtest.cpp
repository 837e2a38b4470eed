// Real transfers in the window with a simulated instrument on a
// pseudo-terminal: the prompt, the locked view, the received bytes, and the
// file the view came from never overwritten by what a transfer or the probe
// put there; leaving in the middle of a download keeps what arrived.
#include <QAction>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "app/WindowTransferScreen.h"
#include "config/LinkSettings.h"
#include "doc/CommunicationDoc.h"
#include "doc/CommunicationView.h"
#include "doc/MessageSeam.h"
#include "sim/SimHarness.h"
#include "sim/SimInstrument.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"

namespace {
QString U(const char* s) {
    return QString::fromUtf8(s);
}
std::string ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    const QByteArray b = f.readAll();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}
}  // namespace

class CWindowTransferTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<CTempComDir> m_ports;
    std::unique_ptr<CCommunicationApp> m_app;
    QStringList m_messages;
    QStringList m_saveAsked;
    bool m_lockedAtPrompt = true;

    // Opens a file holding text as the document.
    QString OpenSource(const std::string& text) {
        const QString path = m_dir.filePath("source.txt");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
        f.write(text.data(), static_cast<qint64>(text.size()));
        f.close();
        return m_app->Doc()->OpenDocument(path) ? path : QString();
    }
    // Save asks for a name (the dialog is cancelled) and the file keeps its bytes.
    void SaveAsksAndFileKeeps(const QString& path, const std::string& bytes, bool modified = true) {
        m_saveAsked.clear();
        QVERIFY(m_app->Frame()->OnCommand(cmd::kFileSave));
        QCOMPARE(m_saveAsked, QStringList{U("无标题")});
        QCOMPARE(ReadAll(path), bytes);
        QCOMPARE(m_app->Doc()->Title(), U("无标题"));
        QCOMPARE(m_app->Doc()->IsModified(), modified);
    }

    void UseCom1() {
        ComSettings.Update([](ComSettingsRecord& r) {
            r = ComSettingsRecord{};
            std::strcpy(r.COMPort, "COM1");
            r.RowDelay = 1;
            r.ReceiveTimeOut = 3000;
        });
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("cfg"));
        QDir::setCurrent(m_dir.path());  // no settings file here: defaults
        m_ports = std::make_unique<CTempComDir>();
        SetFileDialogHook([this](bool save, const QString& suggested) {
            if (save) m_saveAsked << suggested;
            return QString();
        });
        SetMessageHook([this](const QString& text, EButtons) {
            m_messages << text;
            if (m_messages.size() == 1) m_lockedAtPrompt = m_app->View()->IsLocked();
            return EAnswer::Ok;
        });
        m_app = std::make_unique<CCommunicationApp>();
        StartOptions options;
        options.showSplash = false;
        options.startupWait = false;
        QVERIFY(m_app->InitInstance(options));
        UseCom1();
    }
    void cleanupTestCase() {
        m_app.reset();
        m_ports.reset();
    }

    void downloadFillsTheViewAndAsksToBeSaved() {
        const std::string data = "PT1,\xB5\xE3,100.000,200.000,10.000\r\nPT2,,1,2,3\r\n\x03";
        CSimOptions sim;
        sim.family = SimFamily::Qmx610;
        sim.linkPath = m_ports->PortPath(1);
        sim.sendData = data;
        sim.afterMs = 300;
        sim.chunkSize = 20;
        sim.chunkGapMs = 30;
        CSimInstrument instrument(sim);
        std::string error;
        QVERIFY2(instrument.Start(&error), error.c_str());

        CMainFrame* frame = m_app->Frame();
        const QString source = OpenSource("old text");
        QVERIFY(!source.isEmpty());
        QVERIFY(frame->OnCommand(cmd::kDownload610));
        // Handlers return at once; while it runs nothing may start another
        // transfer or replace the text.
        // The command itself brings the command states up to date.
        QVERIFY(IsTransferRunning());
        QVERIFY(!frame->Action(cmd::kDownload610)->isEnabled());
        QVERIFY(!frame->OnCommand(cmd::kDownload210));
        QVERIFY(!frame->OnCommand(cmd::kFileNew));
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 10000);
        QTRY_VERIFY(frame->Action(cmd::kDownload610)->isEnabled());

        QVERIFY(!m_messages.isEmpty());
        QCOMPARE(m_messages.first(), U("请先在微机上回车，然后在全站仪上回车!"));
        QVERIFY(!m_lockedAtPrompt);  // the view is locked only after the hand-shake
        QCOMPARE(m_messages.last(), U("数据接收完成!"));
        QCOMPARE(m_app->View()->GetBytes(), data);
        QVERIFY(!m_app->View()->IsLocked() && !m_app->View()->isReadOnly());
        // Received data is not lost by a careless New, nor saved over the file.
        SaveAsksAndFileKeeps(source, "old text");
        m_messages.clear();
        SetMessageHook([this](const QString& text, EButtons) {
            m_messages << text;
            return EAnswer::Cancel;
        });
        QVERIFY(frame->OnCommand(cmd::kFileNew));
        QCOMPARE(m_messages, QStringList{U("将改动保存到 无标题？")});
        QCOMPARE(m_app->View()->GetBytes(), data);
        m_app->Doc()->SetModified(false);
    }

    void uploadEchoAndProbeNeverOverwriteTheFile() {
        const std::string coords = "KZ1,KZ,1000.000,5000.000,45.123\r\n";
        CSimOptions sim;
        sim.family = SimFamily::Qmx610;
        sim.linkPath = m_ports->PortPath(1);
        CSimInstrument instrument(sim);
        QVERIFY(instrument.Start());
        SetMessageHook([this](const QString& text, EButtons) {
            m_messages << text;
            return EAnswer::Ok;
        });
        m_messages.clear();
        QString source = OpenSource(coords);
        QVERIFY(m_app->Frame()->OnCommand(cmd::kUpload610));
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 10000);
        QCOMPARE(m_messages.last(), U("通讯结束!"));
        const std::string echo = m_app->View()->GetBytes();
        QVERIFY(echo.rfind("/Dg ", 0) == 0);
        // A conversion right after the end, while the companion may still be
        // finishing: refused, and the echo stays.
        QVERIFY(m_app->Frame()->OnCommand(cmd::kTervCoords610));
        QCOMPARE(m_messages.last(), U("没有坐标数据!"));
        QCOMPARE(m_app->View()->GetBytes(), echo);
        SaveAsksAndFileKeeps(source, coords);

        // The probe with no instrument anywhere leaves the view empty.
        instrument.Stop();
        source = OpenSource(coords);
        QVERIFY(m_app->Frame()->OnCommand(cmd::kConnect));
        QCOMPARE(m_messages.last(), U("与仪器链接失败!"));
        QCOMPARE(m_app->View()->GetBytes(), std::string());
        SaveAsksAndFileKeeps(source, coords, false);  // nothing left to offer
        m_app->Doc()->SetModified(false);
    }

    void exitDuringADownloadKeepsWhatArrived() {
        CSimOptions sim;
        sim.family = SimFamily::Qmx610;
        sim.linkPath = m_ports->PortPath(1);
        sim.sendData = std::string("PT1,,1,2,3\r\n");  // never finishes: no ETX
        sim.afterMs = 100;
        CSimInstrument instrument(sim);
        QVERIFY(instrument.Start());
        const QString source = OpenSource("mine\r\n");
        m_messages.clear();
        SetMessageHook([this](const QString& text, EButtons buttons) {
            m_messages << text;
            return buttons == EButtons::YesNoCancel ? EAnswer::Cancel : EAnswer::Ok;
        });
        ComSettings.Update([](ComSettingsRecord& r) { r.ReceiveTimeOut = 60000; });
        QVERIFY(m_app->Frame()->OnCommand(cmd::kDownload610));
        QTRY_VERIFY_WITH_TIMEOUT(g_strTransferText.Get().find("PT1") != std::string::npos, 5000);
        QVERIFY(IsTransferRunning());
        QElapsedTimer clock;
        clock.start();
        // Leaving stops the download at once; the save prompt offers what
        // arrived, and Cancel keeps the window with it, usable.
        QVERIFY(!m_app->CanExit());
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!IsTransferRunning());
        QCOMPARE(m_messages.last(), U("将改动保存到 无标题？"));
        QCOMPARE(m_app->View()->GetBytes(), std::string("PT1,,1,2,3\r\n"));
        QVERIFY(!m_app->View()->IsLocked() && !m_app->View()->isReadOnly());
        QCOMPARE(ReadAll(source), std::string("mine\r\n"));
        m_app->Doc()->SetModified(false);
        UseCom1();
    }

    void probeNamesThePortFound() {
        CSimOptions sim;
        sim.family = SimFamily::Qmx210;
        sim.linkPath = m_ports->PortPath(2);
        CSimInstrument instrument(sim);
        QVERIFY(instrument.Start());
        m_messages.clear();
        SetMessageHook([this](const QString& text, EButtons) {
            m_messages << text;
            return EAnswer::Ok;
        });
        QVERIFY(m_app->Frame()->OnCommand(cmd::kConnect));
        QCOMPARE(m_messages, QStringList{U("与仪器链接成功!\n端口: COM2 (") +
                                         QString::fromStdString(m_ports->PortPath(2)) + ')'});
        UseCom1();
    }
};

QTEST_MAIN(CWindowTransferTest)
#include "WindowTransfer_qtest.moc"
