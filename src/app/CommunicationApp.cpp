#include "app/CommunicationApp.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLibraryInfo>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QTranslator>
#include <QUrl>

#include "app/AboutDlg.h"
#include "app/AppServices.h"
#include "app/AppStrings.h"
#include "app/CommandIds.h"
#include "app/CommandTable.h"
#include "app/MainFrame.h"
#include "app/SplashWnd.h"
#include "app/WindowTransferScreen.h"
#include "config/LinkSettings.h"
#include "config/SettingsFile.h"
#include "doc/CommunicationDoc.h"
#include "doc/CommunicationView.h"
#include "doc/DocStrings.h"
#include "doc/MessageSeam.h"
#include "transfer/TransferManager.h"

namespace {
CCommunicationApp* g_app = nullptr;
std::function<void(const QUrl&)> g_urlOpener;
}  // namespace

CCommunicationApp* TheApp() {
    return g_app;
}

StartOptions ParseCommandLine(const QStringList& arguments) {
    StartOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        QString name = arg;
        while (name.startsWith('-') || name.startsWith('/')) name.remove(0, 1);
        if (name.compare("Embedding", Qt::CaseInsensitive) == 0 ||
            name.compare("Automation", Qt::CaseInsensitive) == 0) {
            options.showSplash = false;
        } else if (name.compare("report-window", Qt::CaseInsensitive) == 0) {
            options.reportWindow = true;
        } else if (!arg.startsWith('-') && options.file.isEmpty()) {
            options.file = arg;
        }
    }
    return options;
}

CCommunicationApp::CCommunicationApp() {
    g_app = this;
    ResetLinkSettings();
}

CCommunicationApp::~CCommunicationApp() {
    // A transfer still running at the end is stopped before its window goes.
    m_screen->Abandon();
    TheTransferManager().StopAndJoin();
    m_doc.reset();
    m_frame.reset();
    TheCommandTable().Clear();
    if (g_app == this) g_app = nullptr;
}

bool CCommunicationApp::InitInstance(const StartOptions& options) {
    CSplashWnd::EnableSplashScreen(options.showSplash);

    // Standard dialogs and buttons speak Chinese like the rest of the window.
    auto* translator = new QTranslator(qApp);
    if (translator->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        qApp->installTranslator(translator);
    else
        delete translator;

    // Per-user settings (recent files) under the application's title.
    QCoreApplication::setOrganizationName(QString::fromUtf8(doctext::kSettingsOrganisation));
    QCoreApplication::setApplicationName(QString::fromUtf8(doctext::kAppTitle));
    // Saved link settings from the working directory, when there are any.
    LoadSettingsAtStartup();

    m_screen = std::make_unique<CWindowTransferScreen>();
    m_view = new CCommunicationView;
    m_frame = std::make_unique<CMainFrame>(m_view);
    m_doc = std::make_unique<CCommunicationDoc>(*m_view, m_frame.get());
    m_screen->Attach(m_view, m_doc.get(), m_frame.get());
    m_frame->SetCloseGuard([this] { return CanExit(); });
    QObject::connect(m_doc.get(), &CCommunicationDoc::TitleChanged, m_frame.get(), [this] {
        m_frame->setWindowTitle(m_doc->Title() + QString::fromUtf8(doctext::kWindowTitleSuffix));
    });
    QObject::connect(m_doc.get(), &CCommunicationDoc::RecentFilesChanged, m_frame.get(),
                     [this] { m_frame->RefreshRecentFiles(m_doc->RecentFiles().Files()); });
    m_frame->RefreshRecentFiles(m_doc->RecentFiles().Files());

    RegisterFrameworkCommands();
    RegisterConvertCommands();
    RegisterLinkCommands();
    RegisterTransferCommands();
    RegisterEditCommands();

    m_frame->OnCreate(options.startupWait);
    if (options.file.isEmpty()) {
        m_doc->OnNewDocument();
    } else if (!m_doc->OpenDocument(options.file)) {
        return false;
    }
    // The normal size is the whole work area as well, so the window fills the
    // screen even where no window manager carries out the maximising.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        m_frame->setGeometry(screen->availableGeometry());
    m_frame->showMaximized();
    m_frame->setWindowTitle(QString::fromUtf8(apptext::kCaption));
    m_frame->show();
    m_frame->repaint();
    m_frame->UpdateCommandUI();
    return true;
}

bool CCommunicationApp::GetViewText(std::string& text) const {
    text = m_view ? m_view->GetBytes() : std::string();
    return true;
}

bool CCommunicationApp::SetViewText(std::string text) {
    if (m_view) m_view->SetBytes(text);
    return true;
}

void CCommunicationApp::RegisterFrameworkCommands() {
    using namespace cmd;
    CCommunicationDoc* doc = m_doc.get();
    CCommunicationView* view = m_view;
    CMainFrame* frame = m_frame.get();
    // Commands that replace or change the view's text wait for a running
    // transfer; reading, saving, printing and leaving do not.
    RegisterCommand(kFileNew, [doc] { doc->OnFileNew(); });
    RegisterCommand(kFileOpen, [doc] { doc->OnFileOpen(); });
    RegisterCommand(
        kFileSave, [doc] { doc->OnFileSave(); }, false);
    RegisterCommand(
        kFileSaveAs, [doc] { doc->OnFileSaveAs(); }, false);
    RegisterCommand(
        kFilePrint, [view] { view->OnFilePrint(); }, false);
    RegisterCommand(
        kFilePrintPreview, [view] { view->OnFilePrintPreview(); }, false);
    RegisterCommand(
        kFilePrintSetup, [view] { view->OnFilePrintSetup(); }, false);
    for (int i = 0; i < 4; ++i)
        RegisterCommand(kFileMru1 + static_cast<unsigned>(i),
                        [doc, i] { doc->OnOpenRecentFile(i); });
    RegisterCommand(
        kAppExit, [frame] { frame->close(); }, false);
    RegisterCommand(kEditUndo, [view] { view->undo(); });
    RegisterCommand(kEditCut, [view] { view->cut(); });
    RegisterCommand(
        kEditCopy, [view] { view->copy(); }, false);
    RegisterCommand(kEditPaste, [view] { view->paste(); });
    RegisterCommand(
        kViewToolbar, [frame] { frame->ToolBar()->setVisible(!frame->ToolBar()->isVisible()); },
        false);
    RegisterCommand(
        kViewStatusBar,
        [frame] { frame->statusBar()->setVisible(!frame->statusBar()->isVisible()); }, false);
    RegisterCommand(
        kAppAbout, [this] { OnAppAbout(); }, false);
    RegisterCommand(
        kHelp, [this] { OnHelp(); }, false);
}

void CCommunicationApp::OnAppAbout() {
    CAboutDlg dialog;
    dialog.exec();
}

void CCommunicationApp::SetUrlOpener(std::function<void(const QUrl&)> opener) {
    g_urlOpener = std::move(opener);
}

void CCommunicationApp::OnHelp() {
    // Taken from the working directory, as the launcher sets it; a missing
    // file or viewer is the desktop's business.
    const QUrl url = QUrl::fromLocalFile(QDir::current().absoluteFilePath(apptext::kHelpFile));
    if (g_urlOpener)
        g_urlOpener(url);
    else
        QDesktopServices::openUrl(url);
}

bool CCommunicationApp::CanExit() {
    if (!m_doc->SaveModified()) return false;
    if (TheTransferManager().IsTransferRunning()) {
        m_screen->Abandon();
        TheTransferManager().StopAndJoin();
        m_screen->Flush();
    }
    return true;
}

// The services of AppServices.h.

bool GetViewText(std::string& text) {
    if (!g_app) {
        text.clear();
        return true;
    }
    return g_app->GetViewText(text);
}

bool SetViewText(std::string text) {
    return g_app ? g_app->SetViewText(std::move(text)) : true;
}

QWidget* AppMainWindow() {
    return g_app ? g_app->Frame() : nullptr;
}

CTransferScreen& AppTransferScreen() {
    return g_app->Screen();
}
