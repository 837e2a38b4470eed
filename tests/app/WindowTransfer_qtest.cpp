// A real download into the window from a simulated instrument on a
// pseudo-terminal: the prompt, the locked view, the received bytes, the
// document marked for saving, and a clean exit in the middle of a transfer.
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

namespace {
QString U(const char* s) {
    return QString::fromUtf8(s);
}
}  // namespace

class CWindowTransferTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<CTempComDir> m_ports;
    std::unique_ptr<CCommunicationApp> m_app;
    QStringList m_messages;
    bool m_lockedAtPrompt = true;

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
        m_app->View()->SetBytes("old text");
        QVERIFY(frame->OnCommand(cmd::kDownload610));
        // Handlers return at once; while it runs nothing may start another
        // transfer or replace the text.
        QVERIFY(IsTransferRunning());
        frame->UpdateCommandUI();
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
        // Received data is not lost by a careless New.
        QVERIFY(m_app->Doc()->IsModified());
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

    void exitDuringATransferStopsIt() {
        CSimOptions sim;
        sim.family = SimFamily::Qmx610;
        sim.linkPath = m_ports->PortPath(1);
        sim.sendData = std::string("PT1,,1,2,3\r\n");  // never finishes: no ETX
        sim.afterMs = 100;
        CSimInstrument instrument(sim);
        QVERIFY(instrument.Start());
        SetMessageHook([](const QString&, EButtons) { return EAnswer::Ok; });
        ComSettings.Update([](ComSettingsRecord& r) { r.ReceiveTimeOut = 60000; });
        QVERIFY(m_app->Frame()->OnCommand(cmd::kDownload610));
        QTRY_VERIFY_WITH_TIMEOUT(m_app->View()->GetBytes().find("PT1") != std::string::npos, 5000);
        QVERIFY(IsTransferRunning());
        QElapsedTimer clock;
        clock.start();
        QVERIFY(m_app->CanExit());
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!IsTransferRunning());
    }
};

QTEST_MAIN(CWindowTransferTest)
#include "WindowTransfer_qtest.moc"
