#include <QApplication>
#include <QListWidget>
#include <QTextBrowser>
#include <QTimer>
#include <csignal>
#include <cstdio>

#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/HelpWindow.h"
#include "app/MainFrame.h"
#include "ui/MessageSeam.h"

namespace {
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
    // A file-size limit makes a save fail with its reason, never kills the window.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication app(argc, argv);
    CCommunicationApp theApp;
    const StartOptions options = ParseCommandLine(QApplication::arguments());
    if (!theApp.InitInstance(options)) return 1;
    if (options.reportHelp) ReportHelp(theApp.Frame());
    return QApplication::exec();
}
