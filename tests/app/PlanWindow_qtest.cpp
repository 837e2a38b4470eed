// The plan view in the window: opened from the View menu and remembered in
// the settings file, following what the view holds (an open, a conversion, a
// typed line, a download while it runs), and the plan's point and the view's
// caret following each other.
#include <QAction>
#include <QtTest>

#include "AppTest_support.h"
#include "TempCwd_support.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "sim/SimInstrument.h"
#include "transfer/TransferManager.h"
#include "ui/PlanDock.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

class CPlanWindowTest : public CAppTest {
    Q_OBJECT
private:
    CPlanDock* Dock() const { return m_app->Frame()->findChild<CPlanDock*>(); }
    size_t Points() const { return Dock()->Model() ? Dock()->Model()->Size() : 0; }
    std::string Settings() const { return ReadAll(m_dir.filePath("jvs_cfg.ini")); }

private slots:
    void initTestCase() { QVERIFY(Start()); }
    void init() { Forget(); }
    void cleanup() {
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 10000);
        m_app->Doc()->SetModified(false);
    }
    void cleanupTestCase() { m_app.reset(); }

    void opensFromTheMenuFollowsTheTextAndIsRemembered() {
        CMainFrame* frame = m_app->Frame();
        QAction* toggle = frame->Action(cmd::kViewPlan);
        QVERIFY(Dock()->isHidden() && toggle->isCheckable() && !toggle->isChecked());

        QVERIFY(frame->OnCommand(cmd::kViewPlan));
        QVERIFY(!Dock()->isHidden() && toggle->isChecked());
        QVERIFY(Settings().find("[JVSPLANVIEW]\r\nVisible=1\r\n") != std::string::npos);

        // An open, a conversion and a typed line each show at once.
        QVERIFY(!OpenSource(ReadAll(JVS_SOURCE_DIR "/samples/qmx610-coords.txt")).isEmpty());
        QTRY_COMPARE(Dock()->FoundText(), U("QMX610/710 · 6 点"));
        QVERIFY(frame->OnCommand(cmd::kTervCoords610));
        QTRY_COMPARE(Dock()->FoundText(), U("TERV210 · 6 点"));
        CCommunicationView* view = m_app->View();
        view->setFocus();
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(view, "X1,K,1,2,3");
        QTest::keyClick(view, Qt::Key_Return);
        QTRY_COMPARE(Points(), size_t{7});

        // A point clicked puts the caret on its line; the caret on a line
        // marks its point.
        CPlanCanvas* canvas = Dock()->Canvas();
        const CSurveyPoint& third = Dock()->Model()->Points()[2];
        CPlanTransform close = canvas->Transform();
        close.centerE = third.e;
        close.centerN = third.n;
        close.scale = 10;
        canvas->SetTransform(close);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->rect().center());
        QCOMPARE(canvas->Selected(), size_t{2});
        int line = -1, index = -1;
        view->getCursorPosition(&line, &index);
        QCOMPARE(line, 2);
        view->setCursorPosition(4, 3);
        QTRY_COMPARE(canvas->Selected(), size_t{4});

        // Opened at the next start; closed, it stays closed.
        m_app.reset();
        QVERIFY(Start());
        QVERIFY(!Dock()->isHidden());
        QVERIFY(m_app->Frame()->OnCommand(cmd::kViewPlan));
        QVERIFY(Dock()->isHidden());
        QVERIFY(Settings().find("[JVSPLANVIEW]\r\nVisible=0\r\n") != std::string::npos);
    }

    void downloadedPointsAppearWhileTheyArrive() {
        if (Dock()->isHidden()) QVERIFY(m_app->Frame()->OnCommand(cmd::kViewPlan));
        std::string data;
        for (int i = 10; i < 70; ++i)
            data += "P" + std::to_string(i) + ",KZ," + std::to_string(5000 + i) + "," +
                    std::to_string(1000 + 2 * i) + ",45\r\n";
        data += '\x03';
        CTempComDir ports;
        CSimOptions sim;
        sim.family = SimFamily::Qmx610;
        sim.linkPath = ports.PortPath(1);
        sim.sendData = data;
        sim.afterMs = 100;
        sim.chunkSize = 42;  // two records at a time
        sim.chunkGapMs = 40;
        CSimInstrument instrument(sim);
        QVERIFY(instrument.Start());
        UseCom1(3000);
        QVERIFY(m_app->Frame()->OnCommand(cmd::kDownload610));
        QTRY_VERIFY_WITH_TIMEOUT(Points() > 0, 5000);
        const size_t early = Points();
        QVERIFY(IsTransferRunning());
        QVERIFY2(early < 60, qPrintable(QString::number(early)));
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 10000);
        QTRY_COMPARE(Points(), size_t{60});
        QCOMPARE(Dock()->FoundText(), U("TERV210 · 60 点"));
    }
};

QTEST_MAIN(CPlanWindowTest)
#include "PlanWindow_qtest.moc"
