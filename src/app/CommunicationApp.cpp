#include "app/CommunicationApp.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLibraryInfo>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTranslator>

#include "app/AboutDlg.h"
#include "app/AppServices.h"
#include "app/AppStrings.h"
#include "app/CommandIds.h"
#include "app/CommandTable.h"
#include "app/HelpWindow.h"
#include "app/MainFrame.h"
#include "app/SplashWnd.h"
#include "app/WindowTransferScreen.h"
#include "config/LinkSettings.h"
#include "config/SettingsFile.h"
#include "transfer/TransferManager.h"
#include "transfer/TransferRun.h"
#include "transfer/TransferState.h"
#include "ui/MessageSeam.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"
#include "view/DocStrings.h"

namespace {
CCommunicationApp* g_app = nullptr;
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
        } else if (name.compare("report-help", Qt::CaseInsensitive) == 0) {
            options.reportHelp = true;
            options.showSplash = false;
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
    StopProbe();
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
    // Saved link settings, when there are any; values the dialogs could not have
    // written are put back to their defaults and named once the window is up,
    // as is a file that could not be read.
    std::vector<std::string> replacedSettings;
    int settingsError = 0;
    LoadSettingsAtStartup(&replacedSettings, &settingsError);

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
    RegisterExportCommands();
    RegisterPlanCommands();

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
    if (settingsError != 0)
        ShowMessageBox(m_frame.get(),
                       QString::fromUtf8(kMsgSettingsUnreadable) + '\n' +
                           QString::fromStdString(SettingsErrorDetail(settingsError)));
    if (!replacedSettings.empty()) {
        std::string keys;
        for (const std::string& key : replacedSettings) keys += (keys.empty() ? "" : ", ") + key;
        ShowMessageBox(m_frame.get(), QString::fromUtf8(kMsgSettingsReplaced) + '\n' +
                                          QString::fromStdString(SettingsFileShownPath()) +
                                          QStringLiteral(": ") + QString::fromStdString(keys));
    }
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
    RegisterCommand(kEditUndo, [view] { view->UndoStep(); });
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

void CCommunicationApp::OnHelp() {
    // Our own window reads the pages: a desktop without a CHM viewer (most of
    // them) would otherwise show nothing at all.
    const QString dir = FindHelpDir();
    if (dir.isEmpty()) {
        ShowMessageBox(AppMainWindow(), QString::fromUtf8(apptext::kHelpNotFound) + '\n' +
                                            QString::fromUtf8(apptext::kHelpSearched) +
                                            HelpSearchDirs().join(", "));
        return;
    }
    if (m_help && m_help->Dir() != dir) delete m_help.data();
    // Closing only hides it: opened again, it shows the page the user left.
    if (!m_help) m_help = new CHelpWindow(dir, ReadHelpContents(dir), m_frame.get());
    m_help->show();
    m_help->raise();
    m_help->activateWindow();
}

bool CCommunicationApp::CanExit() {
    // A probe ends within a moment of its stop; what it leaves is no data.
    StopProbe();
    CTransferManager& transfers = TheTransferManager();
    if (transfers.IsTransferRunning()) {
        // Asked first: on No the transfer goes on to its normal end.
        if (ShowMessageBox(AppMainWindow(), QString::fromUtf8(apptext::kExitDuringTransfer),
                           EButtons::YesNo) != EAnswer::Yes)
            return false;
        // The worker ends by its own path (it may already have ended while
        // the question was up), putting what a download received into the
        // view, so the save prompt below offers it; its calls to the window
        // need this thread, so events are handled while it ends.
        transfers.Stop(EStopReason::Exit);
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!transfers.IsTransferRunning()) loop.quit();
        });
        poll.start(20);
        if (transfers.IsTransferRunning()) loop.exec();
        m_screen->Flush();
        m_frame->UpdateCommandUI();
    }
    return m_doc->SaveModified();
}

// The services of AppServices.h.

bool GetViewText(std::string& text) {
    if (!g_app) {
        text.clear();
        return true;
    }
    return g_app->GetViewText(text);
}

void BeginUndoStep() {
    if (g_app && g_app->Doc()) g_app->Doc()->BeginCommand();
}

bool SaveModifiedDocument() {
    return !g_app || !g_app->Doc() || g_app->Doc()->SaveModified();
}

bool SetViewText(std::string text) {
    return g_app ? g_app->SetViewText(std::move(text)) : true;
}

bool ShowNewData(std::string_view text) {
    return g_app && g_app->Doc() && g_app->Doc()->ReplaceWithNewData(text);
}

bool ShowEditedData(std::string_view text) {
    return g_app && g_app->Doc() && g_app->Doc()->ReplaceWithEditedData(text);
}

QWidget* AppMainWindow() {
    return g_app ? g_app->Frame() : nullptr;
}

CTransferScreen& AppTransferScreen() {
    return g_app->Screen();
}
