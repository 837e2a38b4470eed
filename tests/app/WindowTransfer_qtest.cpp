// Real transfers in the window with a simulated instrument on a
// pseudo-terminal: the prompt, the locked view, the received bytes, and the
// file the view came from never overwritten by what a transfer or the probe
// put there; stopping or leaving in the middle of a download keeps what
// arrived, and leaving asks first; only the uploads run the companion that
// copies the text into the view.
#include <QProgressBar>
#include <QStatusBar>
#include <QToolButton>
#include <QtTest>

#include "AppTest_support.h"
#include "TempCwd_support.h"
#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "config/LinkSettings.h"
#include "sim/SimInstrument.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferState.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

class CWindowTransferTest : public CAppTest {
    Q_OBJECT
private:
    std::unique_ptr<CTempComDir> m_ports;  // empty unless an instrument runs

    // Save asks for a name (the dialog is cancelled) and the file keeps its bytes.
    void SaveAsksAndFileKeeps(const QString& path, const std::string& bytes, bool modified = true) {
        m_saveAsked.clear();
        QVERIFY(m_app->Frame()->OnCommand(cmd::kFileSave));
        QCOMPARE(m_saveAsked, QStringList{U("无标题")});
        QCOMPARE(ReadAll(path), bytes);
        QCOMPARE(m_app->Doc()->Title(), U("无标题"));
        QCOMPARE(m_app->Doc()->IsModified(), modified);
    }
    CSimOptions Sim(SimFamily family, int port, std::string data = {}) {
        CSimOptions sim;
        sim.family = family;
        sim.linkPath = m_ports->PortPath(port);
        sim.sendData = std::move(data);
        sim.afterMs = 100;
        return sim;
    }

private slots:
    void initTestCase() {
        m_ports = std::make_unique<CTempComDir>();
        QVERIFY(Start());  // no settings file there: defaults
    }
    void init() {
        Forget();
        UseCom1(3000, 1);
    }
    void cleanup() {
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 10000);
        m_app->Doc()->SetModified(false);
    }
    void cleanupTestCase() {
        m_app.reset();
        m_ports.reset();
    }

    void downloadFillsTheViewAndAsksToBeSaved() {
        const std::string data = "PT1,\xB5\xE3,100.000,200.000,10.000\r\nPT2,,1,2,3\r\n\x03";
        CSimOptions sim = Sim(SimFamily::Qmx610, 1, data);
        sim.chunkSize = 20;  // in pieces, as a slow instrument sends it
        sim.chunkGapMs = 30;
        CSimInstrument instrument(sim);
        std::string error;
        QVERIFY2(instrument.Start(&error), error.c_str());
        bool lockedAtPrompt = true;
        m_onMessage = [&] {
            if (m_messages.size() == 1) lockedAtPrompt = m_app->View()->IsLocked();
        };
        CMainFrame* frame = m_app->Frame();
        const QString source = OpenSource("old text");
        QVERIFY(frame->OnCommand(cmd::kDownload610));
        QVERIFY(IsTransferRunning());  // the handler returned at once
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 10000);
        QCOMPARE(m_messages.value(0), U("请先在微机上回车，然后在全站仪上回车!"));
        QVERIFY(!lockedAtPrompt);  // the view is locked only after the hand-shake
        QCOMPARE(m_messages.last(), U("数据接收完成!"));
        QCOMPARE(m_app->View()->GetBytes(), data);
        QVERIFY(!m_app->View()->IsLocked() && !m_app->View()->isReadOnly());
        // Received data is not lost by a careless New, nor saved over the file.
        SaveAsksAndFileKeeps(source, "old text");
        m_messages.clear();
        m_answers = {EAnswer::Cancel};
        QVERIFY(frame->OnCommand(cmd::kFileNew));
        QCOMPARE(m_messages, QStringList{U("将改动保存到 无标题？")});
        QCOMPARE(m_app->View()->GetBytes(), data);
        // The whole transfer is one undo step: the text before it comes back.
        QVERIFY(frame->OnCommand(cmd::kEditUndo));
        QCOMPARE(m_app->View()->GetBytes(), std::string("old text"));
    }

    void uploadEchoAndProbeNeverOverwriteTheFile() {
        const std::string coords = "KZ1,KZ,1000.000,5000.000,45.123\r\n";
        CSimInstrument instrument(Sim(SimFamily::Qmx610, 1));
        QVERIFY(instrument.Start());
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
        // Connecting over the unsaved echo asks first (No drops it); the probe
        // names the port that answered and the device behind it.
        m_messages.clear();
        m_answers = {EAnswer::No};
        QVERIFY(m_app->Frame()->OnCommand(cmd::kConnect));
        QTRY_VERIFY_WITH_TIMEOUT(!IsProbeRunning(), 10000);
        QCOMPARE(m_messages, (QStringList{U("将改动保存到 无标题？"),
                                          U("与仪器链接成功!\n端口: COM1 (") +
                                              QString::fromStdString(m_ports->PortPath(1)) + ')'}));
        // The probe with no instrument anywhere leaves the view empty; its
        // every status line together is one undo step.
        instrument.Stop();
        source = OpenSource(coords);
        QVERIFY(m_app->Frame()->OnCommand(cmd::kConnect));
        QTRY_VERIFY_WITH_TIMEOUT(!IsProbeRunning(), 10000);
        QCOMPARE(m_messages.last(), U("与仪器链接失败!"));
        QCOMPARE(m_app->View()->GetBytes(), std::string());
        SaveAsksAndFileKeeps(source, coords, false);  // nothing left to offer
        QVERIFY(m_app->Frame()->OnCommand(cmd::kEditUndo));
        QCOMPARE(m_app->View()->GetBytes(), coords);
    }

    void stopAndExitKeepWhatArrived() {
        // Never finishes: no ETX.
        CSimInstrument instrument(Sim(SimFamily::Qmx610, 1, "PT1,,1,2,3\r\n"));
        QVERIFY(instrument.Start());
        const QString source = OpenSource("mine\r\n");
        ComSettings.Update([](ComSettingsRecord& r) { r.ReceiveTimeOut = 60000; });
        CMainFrame* frame = m_app->Frame();
        QVERIFY(frame->OnCommand(cmd::kDownload610));
        QVERIFY(frame->StopButton()->isVisibleTo(frame));
        QTRY_VERIFY_WITH_TIMEOUT(g_strTransferText.Get().find("PT1") != std::string::npos, 5000);
        // Leaving asks first; No leaves the transfer running.
        m_answers = {EAnswer::No};
        QVERIFY(!m_app->CanExit());
        QCOMPARE(m_messages.last(), U("传输正在进行，是否停止传输并退出?"));
        QVERIFY(IsTransferRunning());
        // Esc stops it wherever the focus is; a second Esc finds nothing to stop.
        QTest::keyClick(m_app->View(), Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 3000);
        QTest::keyClick(m_app->View(), Qt::Key_Escape);
        QCOMPARE(m_messages.last(), U("已停止接收，保留已接收的 12 字节。"));
        QCOMPARE(m_app->View()->GetBytes(), std::string("PT1,,1,2,3\r\n"));
        QVERIFY(m_app->Doc()->IsModified());
        QVERIFY(!m_app->View()->IsLocked() && !m_app->View()->isReadOnly());

        // Yes stops it at once; the save prompt offers what arrived, and
        // Cancel keeps the window with it, usable.
        QVERIFY(frame->OnCommand(cmd::kDownload610));
        QTRY_VERIFY_WITH_TIMEOUT(g_strTransferText.Get().find("PT1") != std::string::npos, 5000);
        QElapsedTimer clock;
        clock.start();
        m_answers = {EAnswer::Yes, EAnswer::Cancel};
        QVERIFY(!m_app->CanExit());
        QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!IsTransferRunning());
        QCOMPARE(m_messages.last(), U("将改动保存到 无标题？"));
        QCOMPARE(m_app->View()->GetBytes(), std::string("PT1,,1,2,3\r\n"));
        QVERIFY(!m_app->View()->IsLocked() && !m_app->View()->isReadOnly());
        QCOMPARE(ReadAll(source), std::string("mine\r\n"));
    }

    void uploadProgressEndsAtAll() {
        CSimInstrument instrument(Sim(SimFamily::Qmx610, 1));
        QVERIFY(instrument.Start());
        ComSettings.Update([](ComSettingsRecord& r) { r.RowDelay = 150; });
        OpenSource("L1\r\nL2\r\nL3\r\nL4\r\n");
        CMainFrame* frame = m_app->Frame();
        QVERIFY(frame->OnCommand(cmd::kUploadAlignment));
        QTRY_VERIFY_WITH_TIMEOUT(frame->TransferProgressBar()->maximum() == 100, 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 10000);
        QCOMPARE(m_messages.last(), U("通讯结束!"));
        QCOMPARE(frame->TransferProgressBar()->value(), 100);
        QCOMPARE(frame->statusBar()->currentMessage(), U("已发送 4 / 4 条记录 (100%)"));
        QTRY_VERIFY(!frame->StopButton()->isVisibleTo(frame));
    }
};

QTEST_MAIN(CWindowTransferTest)
#include "WindowTransfer_qtest.moc"
