// The main window as the user meets it: keys, prompts, the command pre-step,
// the model selector, the worker interface, help and exit; start-up with a
// settings file holding values no dialog could have written.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QDockWidget>
#include <QListWidget>
#include <QMenuBar>
#include <QTextBrowser>
#include <QToolButton>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <thread>

#include "AppTest_support.h"
#include "app/AppServices.h"
#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/HelpWindow.h"
#include "app/MainFrame.h"
#include "app/SplashWnd.h"
#include "app/WindowTransferScreen.h"
#include "link/UsbModelIds.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferState.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

// Counts every request to the desktop's URL opener.
class CUrlTrap : public QObject {
    Q_OBJECT
public:
    int opened = 0;
public slots:
    void open(const QUrl&) { ++opened; }
};

class CFrameTest : public CAppTest {
    Q_OBJECT
private:
    CMainFrame* m_frame = nullptr;
    CCommunicationView* m_view = nullptr;
    QMap<unsigned, int> m_calls;
    QMap<unsigned, std::string> m_seenText;

    // A handler that counts its calls and keeps the shared text it saw.
    void Spy(unsigned id, bool blocked = true) {
        RegisterCommand(
            id,
            [this, id] {
                ++m_calls[id];
                m_seenText[id] = g_strTransferText.Get();
            },
            blocked);
        m_frame->UpdateCommandUI();
    }

private slots:
    void initTestCase() {
        // Values no dialog could have written are named once, at start-up.
        std::ofstream(m_dir.filePath("jvs_cfg.ini").toStdString(), std::ios::binary)
            << "[JVSCOMSETTING]\r\nRowDelay=99999999\r\nBaudrate=11520\r\n";
        qunsetenv("JVS_SETTINGS");
        QVERIFY(Start());
        QCOMPARE(m_messages, QStringList{U("配置文件中的参数无效,已改用默认值!\n") +
                                         QDir::currentPath() + "/jvs_cfg.ini: Baudrate, RowDelay"});
        m_frame = m_app->Frame();
        m_view = m_app->View();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame));
        // Start-up ends with the fixed caption, trailing space included.
        QCOMPARE(m_frame->windowTitle(), U("恒钧全站仪传输软件 "));
    }
    void init() {
        Forget();
        m_calls.clear();
        m_seenText.clear();
        m_app->Doc()->OnNewDocument();
        // Keys go to the view of the active window, whatever ran before.
        m_frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_frame));
        m_view->setFocus();
    }
    void cleanup() { m_app->Doc()->SetModified(false); }
    void cleanupTestCase() { m_app.reset(); }

    void startOptions() {
        QCOMPARE(ParseCommandLine({"jvs-transfer", "-Embedding"}).showSplash, false);
        const StartOptions plain = ParseCommandLine({"jvs-transfer", "data.txt"});
        QVERIFY(plain.showSplash);
        QCOMPARE(plain.file, QString("data.txt"));
    }

    void acceleratorsFollowTheTableNotTheLabels() {
        for (unsigned id :
             {cmd::kConnect, cmd::kDownload210, cmd::kDownload610, cmd::kUpload210, cmd::kUpload610,
              cmd::kUploadPcode, cmd::kUploadFeatures, cmd::kUploadAlignment, cmd::kFilePrint})
            Spy(id);
        // Labels are text only: no menu item carries a key binding.
        for (QAction* top : m_frame->menuBar()->actions())
            for (QAction* a : top->menu()->actions())
                QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->text()));
        for (Qt::Key key : {Qt::Key_T, Qt::Key_M, Qt::Key_Y, Qt::Key_Q})
            QTest::keyClick(m_view, key, Qt::ControlModifier);
        QTest::keyClick(m_view, Qt::Key_P, Qt::ControlModifier);
        QCOMPARE(m_calls.value(cmd::kFilePrint), 1);
        QCOMPARE(m_calls.size(), 1);  // none of the transfers
        // Ctrl+N is New (the text goes), not the QMX610/710 download.
        m_view->SetBytes("old");
        QTest::keyClick(m_view, Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(m_view->GetBytes(), std::string());
        QCOMPARE(m_calls.value(cmd::kDownload610), 0);
    }

    void modelSelectorShowsMessageThenSetsIds() {
        QComboBox* combo = m_frame->ModelSelector();
        UsbModelIds.Set({});
        UsbModelIdsRecord seenDuringMessage{1, 1, 1, 1};
        m_onMessage = [&] { seenDuringMessage = UsbModelIds.Get(); };
        combo->setCurrentIndex(1);
        emit combo->activated(1);
        QCOMPARE(m_messages, QStringList{U("您选择的是QMX660系列仪器！")});
        QCOMPARE(seenDuringMessage, UsbModelIdsRecord{});  // changed only after the box
        QCOMPARE(UsbModelIds.Get(), (UsbModelIdsRecord{0x3D18, 0x3D02, 0x83, 0x04}));
    }

    void postedCommandsTakeTheLatestText() {
        // Frame commands run after the current message, with the text then.
        Spy(cmd::kFileSave, false);
        Spy(cmd::kEditCodeList);
        QVERIFY(m_frame->OnCommand(cmd::kFrameSave));
        QCOMPARE(m_calls.value(cmd::kFileSave), 0);
        m_view->SetBytes("after");
        QTRY_COMPARE(m_calls.value(cmd::kFileSave), 1);
        QCOMPARE(m_seenText.value(cmd::kFileSave), std::string("after"));
        auto* button = m_frame->CommandBar()->findChild<QToolButton*>(
            QString("cmd%1").arg(cmd::kFrameEditCodeList));
        QVERIFY(button && button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_COMPARE(m_calls.value(cmd::kEditCodeList), 1);
    }

    void commandsWithoutHandlerAndSparesAreDisabled() {
        RegisterCommand(cmd::kDxfExport, nullptr);
        RegisterCommand(cmd::kToolbarSpare1, [] {});
        m_frame->UpdateCommandUI();
        QVERIFY(!m_frame->Action(cmd::kDxfExport)->isEnabled());
        QVERIFY(!m_frame->OnCommand(cmd::kDxfExport));
        QVERIFY(!m_frame->Action(cmd::kToolbarSpare1)->isEnabled());
    }

    void aRunningTransferIsNotDisturbed() {
        Spy(cmd::kTervCoords610);
        std::atomic<bool> release{false};
        QVERIFY(TheTransferManager().StartWorker(
            [&](CTransferRun&) {
                while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
                return 1u;
            },
            false, m_app->Screen()));
        m_frame->UpdateCommandUI();
        for (unsigned id : {cmd::kTervCoords610, cmd::kFileOpen, cmd::kFrameOpen, cmd::kEditPaste})
            QVERIFY2(!m_frame->Action(id)->isEnabled(), qPrintable(QString::number(id)));
        QVERIFY(m_frame->Action(cmd::kFileSave)->isEnabled());
        QVERIFY(!m_frame->ModelSelector()->isEnabled());
        // The pre-step leaves the worker's text alone; blocked commands do not run.
        g_strTransferText.Set("received so far");
        m_view->SetBytes("shown");
        QVERIFY(!m_frame->OnCommand(cmd::kTervCoords610));
        QCOMPARE(g_strTransferText.Get(), std::string("received so far"));
        QVERIFY(m_calls.isEmpty());
        release = true;
        QTRY_VERIFY(!IsTransferRunning());
        QTRY_VERIFY(m_frame->Action(cmd::kTervCoords610)->isEnabled());
        QVERIFY(m_frame->OnCommand(cmd::kTervCoords610));
        QCOMPARE(m_seenText.value(cmd::kTervCoords610), std::string("shown"));
    }

    void workerCallsReachTheWindow() {
        CWindowTransferScreen& screen = m_app->Screen();
        QThread* uiThread = QThread::currentThread();
        bool boxOnUiThread = false;
        bool lockedSeen = false;
        // Widget state is read on the window's thread, when the box shows.
        m_onMessage = [&] {
            boxOnUiThread = QThread::currentThread() == uiThread;
            if (m_messages.last() == "locked?")
                lockedSeen = m_view->IsLocked() && m_view->isReadOnly();
        };
        std::atomic<int> step{0};
        std::string readBack;
        std::thread worker([&] {
            CCancelToken cancel;
            screen.AskOperator("请先在微机上回车，然后在全站仪上回车!", cancel);
            screen.LockView();
            screen.ShowMessage("locked?");
            screen.ShowText("");
            for (int i = 1; i <= 300; ++i) screen.AppendText(std::string(i % 7, 'a') + "\r\n");
            screen.MarkModified();
            screen.AppendText("final\r\n");
            screen.UnlockView();
            readBack = screen.GetViewText();
            screen.ShowMessage("数据接收完成!");
            step = 2;
        });
        QTRY_COMPARE_WITH_TIMEOUT(step.load(), 2, 5000);
        worker.join();
        QVERIFY(boxOnUiThread);
        QVERIFY(lockedSeen);
        QCOMPARE(m_messages, (QStringList{U("请先在微机上回车，然后在全站仪上回车!"), "locked?",
                                          U("数据接收完成!")}));
        // Every piece given is there, in order, the view is usable again, and
        // the document now asks to be saved.
        std::string expected;
        for (int i = 1; i <= 300; ++i) expected += std::string(i % 7, 'a') + "\r\n";
        expected += "final\r\n";
        QCOMPARE(readBack, expected);
        QCOMPARE(m_view->GetBytes(), expected);
        QVERIFY(!m_view->IsLocked() && !m_view->isReadOnly());
        QVERIFY(m_app->Doc()->IsModified());
    }

    void backToBackTransfersNeverWaitOnTheWindow() {
        // The first transfer's companion is inside its copy, waiting for the
        // window's thread, when its worker ends and the second one starts on
        // that very thread. A watchdog frees a hung start so a fault fails
        // here instead of hanging.
        QVERIFY(TheTransferManager().StartWorker(
            [](CTransferRun&) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1300));
                return 1u;
            },
            true, m_app->Screen()));
        // No events meanwhile: the companion's copy stays queued.
        std::this_thread::sleep_for(std::chrono::milliseconds(1400));
        for (int i = 0; i < 500 && IsTransferRunning(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QVERIFY(!IsTransferRunning());
        std::atomic<bool> started{false}, watchdogFired{false};
        std::thread watchdog([&] {
            for (int i = 0; i < 300 && !started; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (!started) {
                watchdogFired = true;
                m_app->Screen().Abandon();
            }
        });
        std::atomic<bool> doneStayedDown{false};
        const bool ok = TheTransferManager().StartWorker(
            [&](CTransferRun&) {
                g_bTransferDone = false;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                doneStayedDown = !g_bTransferDone;  // the old companion ended first
                return 1u;
            },
            true, m_app->Screen());
        started = true;
        watchdog.join();
        m_app->Screen().Reset();
        QVERIFY(ok);
        QVERIFY(!watchdogFired);
        QTRY_VERIFY_WITH_TIMEOUT(!IsTransferRunning(), 5000);
        QVERIFY(doneStayedDown);
        QVERIFY(TheTransferManager().Wait() == 1u);
    }

    void abandonReleasesAWaitingWorker() {
        CWindowTransferScreen& screen = m_app->Screen();
        std::atomic<bool> returned{false};
        std::thread worker([&] {
            CCancelToken cancel;
            screen.AskOperator("waiting", cancel);
            screen.ShowMessage("later");  // returns at once after abandonment
            returned = true;
        });
        // The window's thread is busy (exiting) and never shows the prompt.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QVERIFY(!returned);
        screen.Abandon();
        worker.join();
        QVERIFY(returned);
        QCoreApplication::processEvents();
        QVERIFY(m_messages.isEmpty());
        screen.Reset();
    }

    void helpOpensItsOwnWindowWithoutAnyViewer() {
        // No desktop opener may be asked: most desktops have no CHM viewer.
        CUrlTrap trap;
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::setUrlHandler(scheme, &trap, "open");
        const QString none = m_dir.filePath("no-help");
        SetHelpSearchDirs({none, QString(JVS_BINARY_DIR) + "/bin/help"});
        QTest::keyClick(m_view, Qt::Key_F1);
        auto* help = m_frame->findChild<CHelpWindow*>();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->CurrentPage(), QString("00-start.html"));
        QVERIFY(help->Browser()->toPlainText().contains(U("恒钧全站仪传输软件")));
        // The contents list every page of the sources, in order, under its title.
        const QStringList pages =
            QDir(QString(JVS_SOURCE_DIR) + "/help").entryList({"*.html"}, QDir::Files, QDir::Name);
        QListWidget* contents = help->Contents();
        QCOMPARE(contents->count(), pages.size());
        QTest::mouseClick(contents->viewport(), Qt::LeftButton, {},
                          contents->visualItemRect(contents->item(2)).center());
        QCOMPARE(contents->item(2)->text(), help->Browser()->documentTitle());
        // A link to a page that is there is followed; a missing one is reported.
        emit help->Browser()->anchorClicked(QUrl(pages.at(1)));
        QCOMPARE(help->CurrentPage(), pages.at(1));
        emit help->Browser()->anchorClicked(QUrl("gone.html"));
        emit help->Browser()->anchorClicked(QUrl("https://example.org/"));
        QCOMPARE(help->CurrentPage(), pages.at(1));
        QCOMPARE(m_messages,
                 (QStringList{U("帮助页面不存在!\ngone.html"),
                              U("帮助窗口只打开本机的帮助页面:\nhttps://example.org/")}));
        // Esc closes it.
        QTest::keyClick(help->Browser(), Qt::Key_Escape);
        QVERIFY(!help->isVisible());
        // No pages anywhere: a message says so and where it looked.
        SetHelpSearchDirs({none});
        m_messages.clear();
        QVERIFY(m_frame->OnCommand(cmd::kHelp));
        QCOMPARE(m_messages.size(), 1);
        QVERIFY(m_messages.first().startsWith(U("找不到帮助文档!\n")));
        QVERIFY(m_messages.first().contains(none));
        // Pages beside a FIFO, a folder and a picture that is a FIFO: listed and
        // shown at once. A writer frees a blocked read, so a fault fails, not hangs.
        QDir(m_dir.path()).mkpath("odd/x.html");
        const QString fifo = m_dir.filePath("odd/pipe.html");
        QCOMPARE(mkfifo(qPrintable(fifo), 0600), 0);
        QCOMPARE(symlink(qPrintable(fifo), qPrintable(m_dir.filePath("odd/pic.png"))), 0);
        WriteAll(m_dir.filePath("odd/a.html"),
                 "<html><head><title>A</title></head><body>a<img src=\"pic.png\"></body></html>");
        std::atomic<bool> done{false};
        std::thread unblock([fifo, &done] {
            for (int tick = 0; !done; ++tick) {
                if (tick >= 30) {
                    const int fd = ::open(qPrintable(fifo), O_WRONLY | O_NONBLOCK);
                    if (fd >= 0) ::close(fd);
                }
                QThread::msleep(100);
            }
        });
        QElapsedTimer clock;
        clock.start();
        SetHelpSearchDirs({m_dir.filePath("odd")});
        QVERIFY(m_frame->OnCommand(cmd::kHelp));
        const qint64 took = clock.elapsed();
        done = true;
        unblock.join();
        help = m_frame->findChild<CHelpWindow*>();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->Contents()->count(), 1);
        QCOMPARE(help->CurrentPage(), QString("a.html"));
        QVERIFY2(took < 2000, qPrintable(QString::number(took)));
        help->close();
        SetHelpSearchDirs({});
        QCOMPARE(trap.opened, 0);
        for (const char* scheme : {"file", "http", "https"})
            QDesktopServices::unsetUrlHandler(scheme);
    }

    void splashClosesOnFirstKeyWhichIsSwallowed() {
        CSplashWnd::EnableSplashScreen(true);
        CSplashWnd::ShowSplashScreen(m_frame);
        QVERIFY(CSplashWnd::Current());
        QTest::keyClick(m_view, Qt::Key_A);
        QVERIFY(!CSplashWnd::Current());
        QTest::keyClick(m_view, Qt::Key_B);
        QCOMPARE(m_view->GetBytes(), std::string("b"));  // the first key did nothing else
        // Without a key, the timer closes it.
        CSplashWnd::ShowSplashScreen(m_frame);
        QTRY_VERIFY_WITH_TIMEOUT(!CSplashWnd::Current(), 2000);
        CSplashWnd::EnableSplashScreen(false);
    }
};

QTEST_MAIN(CFrameTest)
#include "Frame_qtest.moc"
