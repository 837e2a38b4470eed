// The connection probe in the window runs beside it: the window keeps
// answering, shows the port being tried, refuses a second probe and the
// transfers meanwhile, and a cancel (button, Esc, leaving) ends it at once.
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include "AppTest_support.h"
#include "TempCwd_support.h"
#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "config/LinkSettings.h"
#include "convert/ViewCodec.h"
#include "sim/SimInstrument.h"
#include "view/CommunicationView.h"

class CWindowProbeTest : public CAppTest {
    Q_OBJECT
private:
    std::unique_ptr<CTempComDir> m_ports;
    std::vector<std::unique_ptr<CSimInstrument>> m_sims;

    CSimInstrument& Sim(const std::string& link) {
        CSimOptions o;
        o.linkPath = link;
        o.answerGreeting = false;  // silent: every port is tried in turn
        m_sims.push_back(std::make_unique<CSimInstrument>(o));
        [&] { QVERIFY(m_sims.back()->Start()); }();
        return *m_sims.back();
    }
    QString Trying() const {
        auto* label = m_app->Frame()->findChild<QLabel*>(QStringLiteral("probePort"));
        return label ? label->text() : QString();
    }
    // Milliseconds from now until the probe has ended (capped).
    static qint64 UntilEnd() {
        QElapsedTimer clock;
        clock.start();
        while (IsProbeRunning() && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return clock.elapsed();
    }

private slots:
    void initTestCase() {
        m_ports = std::make_unique<CTempComDir>();
        QVERIFY(Start());
    }
    void init() { Forget(); }
    void cleanup() {
        StopProbe();
        m_sims.clear();
        ResetLinkSettings();
    }
    void cleanupTestCase() {
        m_app.reset();
        m_ports.reset();
    }

    void windowAnswersWhileItRunsAndCancelEndsIt() {
        for (int n : {1, 2}) Sim(m_ports->PortPath(n));
        CMainFrame* frame = m_app->Frame();
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(20);
        QVERIFY(frame->OnCommand(cmd::kConnect));
        QVERIFY(IsProbeRunning());
        QCOMPARE(m_app->View()->GetBytes(), Utf8ToGbk("正在尝试与仪器进行连接...\r\n"));
        QVERIFY(!frame->Action(cmd::kConnect)->isEnabled());
        QVERIFY(!frame->Action(cmd::kDownload610)->isEnabled());
        QVERIFY(!frame->OnCommand(cmd::kConnect));
        // COM1 keeps it over a second (pause and read time-out) while the window answers.
        QTRY_COMPARE_WITH_TIMEOUT(Trying(), QStringLiteral("正在尝试 COM2…"), 5000);
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        auto* cancel = frame->findChild<QPushButton*>(QStringLiteral("probeCancel"));
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
        const qint64 took = UntilEnd();
        QVERIFY2(took < 500, qPrintable(QString::number(took)));
        QVERIFY(!frame->findChild<QPushButton*>(QStringLiteral("probeCancel")));
        QVERIFY(frame->Action(cmd::kDownload610)->isEnabled());
        QCOMPARE(m_app->View()->GetBytes(), std::string());
        QVERIFY(!m_app->View()->IsLocked());
        QVERIFY2(m_messages.isEmpty(), "a cancelled probe says nothing");
        // Esc at once, before the first port was answered.
        QVERIFY(frame->OnCommand(cmd::kConnect));
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QTest::keyClick(m_app->View(), Qt::Key_Escape);
        QVERIFY(UntilEnd() < 3000);
        QVERIFY(m_messages.isEmpty());
        // Leaving during a probe stops it and leaves nothing to save.
        QVERIFY(frame->OnCommand(cmd::kConnect));
        QTRY_COMPARE_WITH_TIMEOUT(Trying(), QStringLiteral("正在尝试 COM1…"), 5000);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(m_app->CanExit());
        QVERIFY(clock.elapsed() < 3000);
        QVERIFY(!IsProbeRunning());
        QCOMPARE(m_app->View()->GetBytes(), std::string());
        QVERIFY(m_messages.isEmpty());
    }
};

QTEST_MAIN(CWindowProbeTest)
#include "WindowProbe_qtest.moc"
