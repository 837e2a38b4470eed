// The application object: start-up, the document/frame/view trio, the
// framework's own commands, and the services other areas use.
#pragma once

#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

class CCommunicationDoc;
class CCommunicationView;
class CMainFrame;
class CWindowTransferScreen;
class CHelpWindow;

struct StartOptions {
    bool showSplash = true;
    // The frame's 2000 ms pause while the splash shows; tests switch it off.
    bool startupWait = true;
    QString file;  // opened instead of a new document
    // Opens help as F1 does, prints the page and the contents' size (or the
    // message shown), and ends: the package check runs it from the package.
    bool reportHelp = false;
};

// The program's command line: an optional file name and the embedding and
// automation switches (which suppress the splash).
StartOptions ParseCommandLine(const QStringList& arguments);

class CCommunicationApp {
public:
    CCommunicationApp();
    ~CCommunicationApp();
    CCommunicationApp(const CCommunicationApp&) = delete;
    CCommunicationApp& operator=(const CCommunicationApp&) = delete;

    bool InitInstance(const StartOptions& options);

    bool GetViewText(std::string& text) const;
    bool SetViewText(std::string text);

    CMainFrame* Frame() const { return m_frame.get(); }
    CCommunicationDoc* Doc() const { return m_doc.get(); }
    CCommunicationView* View() const { return m_view; }
    CWindowTransferScreen& Screen() const { return *m_screen; }

    void OnAppAbout();
    void OnHelp();
    // Asked before the window closes: a running transfer is stopped (what a
    // download received stays in the view), then the save prompt.
    bool CanExit();

private:
    void RegisterFrameworkCommands();

    std::unique_ptr<CWindowTransferScreen> m_screen;
    CCommunicationView* m_view = nullptr;  // owned by the frame
    std::unique_ptr<CMainFrame> m_frame;
    std::unique_ptr<CCommunicationDoc> m_doc;
    QPointer<CHelpWindow> m_help;  // owned by the frame
};

// The one application object while it exists.
CCommunicationApp* TheApp();
