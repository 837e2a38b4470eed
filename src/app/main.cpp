#include <QApplication>
#include <QListWidget>
#include <QScreen>
#include <QTextBrowser>
#include <QTimer>
#include <cstdio>

#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/HelpWindow.h"
#include "app/MainFrame.h"
#include "doc/MessageSeam.h"

namespace {
// For the display test: what the window looks like once start-up is done.
void ReportWindow(CMainFrame* frame) {
    QTimer::singleShot(800, frame, [frame] {
        const QRect g = frame->frameGeometry();
        const QRect s = frame->screen()->geometry();
        const QRect a = frame->screen()->availableGeometry();
        std::printf("TITLE %s\n", frame->windowTitle().toUtf8().constData());
        std::printf("MAXIMIZED %d\n", frame->isMaximized() ? 1 : 0);
        std::printf("FRAME %d %d %d %d\n", g.x(), g.y(), g.width(), g.height());
        std::printf("SCREEN %d %d %d %d\n", s.x(), s.y(), s.width(), s.height());
        std::printf("AVAILABLE %d %d %d %d\n", a.x(), a.y(), a.width(), a.height());
        std::printf("WINID %llu\n", static_cast<unsigned long long>(frame->winId()));
        std::fflush(stdout);
    });
    QTimer::singleShot(20000, qApp, &QCoreApplication::quit);
}

void ReportHelp(CMainFrame* frame) {
    SetMessageHook([](const QString& text, EButtons) {
        std::printf("MESSAGE %s\n", text.toUtf8().constData());
        return EAnswer::Ok;
    });
    QTimer::singleShot(0, frame, [frame] {
        frame->OnCommand(cmd::kHelp);
        if (const CHelpWindow* help = frame->findChild<CHelpWindow*>()) {
            std::printf("HELP %s\n", help->Browser()->source().toLocalFile().toUtf8().constData());
            std::printf("CONTENTS %d\n", int(help->Contents()->count()));
        }
        std::fflush(stdout);
        QCoreApplication::quit();
    });
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    CCommunicationApp theApp;
    const StartOptions options = ParseCommandLine(QApplication::arguments());
    if (!theApp.InitInstance(options)) return 1;
    if (options.reportWindow) ReportWindow(theApp.Frame());
    if (options.reportHelp) ReportHelp(theApp.Frame());
    return QApplication::exec();
}
