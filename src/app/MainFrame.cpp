#include "app/MainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AppIcons.h"
#include "app/AppServices.h"
#include "app/AppStrings.h"
#include "app/CommandCatalog.h"
#include "app/CommandIds.h"
#include "app/CommandTable.h"
#include "app/LockKeys.h"
#include "app/SplashWnd.h"
#include "link/UsbModelIds.h"
#include "transfer/TransferState.h"
#include "ui/MessageSeam.h"
#include "view/CommunicationView.h"

namespace {
constexpr int kStartupWaitMs = 2000;
constexpr int kSelectorWidth = 120;

// Frame commands that stand for another command, posted like a menu choice.
unsigned PostedBy(unsigned frameId) {
    switch (frameId) {
        case cmd::kFrameOpen:
            return cmd::kFileOpen;
        case cmd::kFrameSave:
            return cmd::kFileSave;
        case cmd::kFrameExit:
            return cmd::kAppExit;
        case cmd::kFrameDownload210:
            return cmd::kDownload210;
        case cmd::kFrameUpload210:
            return cmd::kUpload210;
        case cmd::kFrameEditCoordList:
            return cmd::kEditCoordList;
        case cmd::kFrameEditCodeList:
            return cmd::kEditCodeList;
        default:
            return 0;
    }
}
}  // namespace

CMainFrame::CMainFrame(CCommunicationView* view) : m_view(view) {
    setObjectName("MainFrame");
    setWindowIcon(AppIcon());
    setCentralWidget(m_view);
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateCommandBar();
    CreateAccelerators();
    if (QCoreApplication* app = QCoreApplication::instance()) app->installEventFilter(this);
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    // Command states follow the program: they are brought up to date after every
    // command (which is how a transfer starts), when a transfer ends and when the
    // list of recent files changes; the toolbar reports its own visibility.
    UpdateCommandUI();
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::OnCreate(bool startupWait) {
    CSplashWnd::ShowSplashScreen(this);
    if (startupWait) QThread::msleep(kStartupWaitMs);
}

QAction* CMainFrame::MakeAction(unsigned id, const QString& text) {
    auto it = m_actions.find(id);
    if (it != m_actions.end()) return it->second;
    auto* action = new QAction(text, this);
    action->setData(id);
    if (const CommandText* t = FindCommandText(id)) {
        // An empty prompt still covers the idle text while pointed at.
        action->setStatusTip(*t->prompt ? QString::fromUtf8(t->prompt) : QStringLiteral(" "));
        if (*t->tooltip) action->setToolTip(QString::fromUtf8(t->tooltip));
    }
    connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
    m_actions[id] = action;
    return action;
}

QAction* CMainFrame::Action(unsigned id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
    for (const MenuDef& def : MenuBar()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(def.title));
        if (!m_fileMenu) m_fileMenu = menu;
        for (const MenuItem& item : def.items) {
            if (item.id == 0) {
                menu->addSeparator();
                continue;
            }
            QString text = QString::fromUtf8(item.text);
            if (const auto sub = SubMenuItems(item.id); !sub.empty()) {
                QMenu* submenu = menu->addMenu(text);
                submenu->menuAction()->setData(item.id);
                for (const MenuItem& subItem : sub)
                    submenu->addAction(MakeAction(subItem.id, QString::fromUtf8(subItem.text)));
                continue;
            }
            // Text after a tab is only shown; the keys are the accelerators'.
            if (*item.label) text += '\t' + QString::fromUtf8(item.label);
            if (item.id == cmd::kFileMru1) {
                m_recentPlaceholder = new QAction(text, this);
                m_recentPlaceholder->setEnabled(false);
                menu->addAction(m_recentPlaceholder);
                continue;
            }
            QAction* action = MakeAction(item.id, text);
            if (item.id == cmd::kViewToolbar || item.id == cmd::kViewStatusBar)
                action->setCheckable(true);
            menu->addAction(action);
        }
    }
}

void CMainFrame::CreateToolBar() {
    m_toolBar = new QToolBar(QString::fromUtf8(apptext::kToolBarTitle), this);
    m_toolBar->setObjectName("ToolBar");
    m_toolBar->setIconSize(QSize(16, 15));
    m_toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    m_toolBar->setMovable(true);
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    const unsigned layout[] = {cmd::kFileNew,       cmd::kFileOpen,
                               cmd::kFileSave,      0,
                               cmd::kEditCut,       cmd::kEditCopy,
                               cmd::kEditPaste,     0,
                               cmd::kFilePrint,     0,
                               cmd::kAppAbout,      cmd::kModelSelector,
                               cmd::kToolbarSpare1, cmd::kToolbarSpare2};
    for (unsigned id : layout) {
        if (id == 0) {
            m_toolBar->addSeparator();
        } else if (id == cmd::kModelSelector) {
            m_modelSelector = new QComboBox(m_toolBar);
            m_modelSelector->setObjectName("ModelSelector");
            m_modelSelector->setFixedWidth(kSelectorWidth);
            for (const UsbModelRow& row : kUsbModelRows)
                m_modelSelector->addItem(
                    QString::fromUtf8(row.Text.data(), static_cast<qsizetype>(row.Text.size())));
            m_modelSelector->setPlaceholderText(QString::fromUtf8(apptext::kModelPlaceholder));
            m_modelSelector->setCurrentIndex(-1);  // nothing chosen until the user does
            connect(m_modelSelector, &QComboBox::activated, this,
                    [this](int index) { OnModelSelected(m_modelSelector->itemText(index)); });
            QAction* slot = m_toolBar->addWidget(m_modelSelector);
            slot->setData(cmd::kModelSelector);
        } else {
            QAction* action = MakeAction(id, QString());
            // The two spare buttons stand for nothing: no text, no tooltip.
            const CommandText* t = FindCommandText(id);
            if (action->text().isEmpty() && t && *t->tooltip)
                action->setText(QString::fromUtf8(t->tooltip));
            action->setIcon(ToolbarIcon(id));
            m_toolBar->addAction(action);
        }
    }
    QAction* toggle = Action(cmd::kViewToolbar);
    connect(m_toolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar");
    m_idle = new QLabel(QString::fromUtf8(apptext::kIdle), bar);
    m_idle->setObjectName("MessagePane");
    bar->addWidget(m_idle, 1);
    // A transfer's progress and the button that stops it, shown while one runs.
    m_progressBar = new QProgressBar(bar);
    m_progressBar->setObjectName("TransferProgress");
    m_progressBar->setMaximumWidth(200);
    m_progressBar->setVisible(false);
    bar->addPermanentWidget(m_progressBar);
    m_stopButton = new QToolButton(bar);
    m_stopButton->setObjectName("StopTransfer");
    m_stopButton->setText(QString::fromUtf8(apptext::kStopButton));
    m_stopButton->setToolTip(QString::fromUtf8(apptext::kStopButtonTip));
    m_stopButton->setVisible(false);
    connect(m_stopButton, &QToolButton::clicked, this, [this] { OnCommand(cmd::kStopTransfer); });
    bar->addPermanentWidget(m_stopButton);
    // Lock-key panes: lit while the lock is on, where the display tells.
    for (const char* text : {apptext::kCapsLock, apptext::kNumLock, apptext::kScrollLock}) {
        auto* pane = new QLabel(QString::fromUtf8(text), bar);
        pane->setEnabled(false);
        m_lockPanes.push_back(pane);
        pane->setFrameShape(QFrame::Panel);
        pane->setFrameShadow(QFrame::Sunken);
        bar->addPermanentWidget(pane);
    }
}

void CMainFrame::RefreshLockPanes() {
    const auto states = ReadLockKeys();
    if (!states) return;
    for (size_t i = 0; i < m_lockPanes.size() && i < states->size(); ++i)
        m_lockPanes[i]->setEnabled((*states)[i]);
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) RefreshLockPanes();
    return QMainWindow::event(event);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // Esc stops a transfer wherever the focus is (the plan view, the command
    // bar, the help window), before any widget takes the key for itself. A
    // message box keeps its own Esc (取消, or closing it).
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && AppTransferRunning() &&
        !QApplication::activeModalWidget()) {
        OnCommand(cmd::kStopTransfer);
        return true;
    }
    // A lock key changes its state on the key's release.
    if (event->type() == QEvent::KeyRelease) RefreshLockPanes();
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::ShowStatusText(const QString& text) {
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text);
}

void CMainFrame::ShowTransferProgress(const QString& text, int percent) {
    ShowStatusText(text);
    // Only a change is passed on: a busy bar set again restarts its animation.
    if (percent < 0) {
        if (m_progressBar->maximum() != 0) m_progressBar->setRange(0, 0);
    } else {
        m_progressBar->setRange(0, 100);
        m_progressBar->setValue(percent);
    }
}

void CMainFrame::CreateCommandBar() {
    m_commandBar = new QDockWidget(QString::fromUtf8(apptext::kCommandBarTitle), this);
    m_commandBar->setObjectName("CommandBar");
    auto* panel = new QWidget;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(1);
    for (const CommandBarItem& item : CommandBarItems()) {
        QAction* action = MakeAction(item.id, QString::fromUtf8(item.label));
        action->setStatusTip(QString::fromUtf8(item.prompt));
        action->setToolTip(QString::fromUtf8(item.tooltip));
        auto* button = new QToolButton(panel);
        button->setDefaultAction(action);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setObjectName(QString("cmd%1").arg(item.id));
        column->addWidget(button);
    }
    column->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setWidget(panel);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setMinimumWidth(panel->sizeHint().width() +
                            scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
    m_commandBar->setWidget(scroll);
    addDockWidget(Qt::LeftDockWidgetArea, m_commandBar);
}

void CMainFrame::CreateAccelerators() {
    const std::pair<QKeySequence, unsigned> table[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_N), cmd::kFileNew},
        {QKeySequence(Qt::CTRL | Qt::Key_O), cmd::kFileOpen},
        {QKeySequence(Qt::CTRL | Qt::Key_S), cmd::kFileSave},
        {QKeySequence(Qt::CTRL | Qt::Key_P), cmd::kFilePrint},
        {QKeySequence(Qt::CTRL | Qt::Key_Z), cmd::kEditUndo},
        {QKeySequence(Qt::ALT | Qt::Key_Backspace), cmd::kEditUndo},
        {QKeySequence(Qt::CTRL | Qt::Key_X), cmd::kEditCut},
        {QKeySequence(Qt::SHIFT | Qt::Key_Delete), cmd::kEditCut},
        {QKeySequence(Qt::CTRL | Qt::Key_C), cmd::kEditCopy},
        {QKeySequence(Qt::CTRL | Qt::Key_Insert), cmd::kEditCopy},
        {QKeySequence(Qt::CTRL | Qt::Key_V), cmd::kEditPaste},
        {QKeySequence(Qt::SHIFT | Qt::Key_Insert), cmd::kEditPaste},
        {QKeySequence(Qt::Key_F6), cmd::kNextPane},
        {QKeySequence(Qt::SHIFT | Qt::Key_F6), cmd::kPrevPane},
        // Help on F1, where every desktop program has it.
        {QKeySequence(Qt::Key_F1), cmd::kHelp},
    };
    for (const auto& [keys, id] : table) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, id = id] { OnCommand(id); });
        m_accelerators.push_back(shortcut);
    }
}

bool CMainFrame::OnCommand(unsigned id) {
    const bool running = AppTransferRunning();
    // The pre-step: handlers start with the text the user sees. A running
    // transfer owns the shared text, so it is left alone then.
    if (!running) {
        std::string text;
        GetViewText(text);
        g_strTransferText.Set(std::move(text));
    }
    if (const unsigned target = PostedBy(id)) {
        PostCommand(target);
        return true;
    }
    const CCommandTable& table = TheCommandTable();
    if (!table.IsEnabled(id, running)) return false;
    const CCommandTable::Entry* entry = table.Find(id);
    // Stopping replaces no text of its own: the transfer's step stays one.
    if (!entry->onlyDuringTransfer) BeginUndoStep();
    entry->handler();
    UpdateCommandUI();
    return true;
}

void CMainFrame::PostCommand(unsigned id) {
    QMetaObject::invokeMethod(
        this, [this, id] { OnCommand(id); }, Qt::QueuedConnection);
}

void CMainFrame::UpdateCommandUI() {
    const bool running = AppTransferRunning();
    const CCommandTable& table = TheCommandTable();
    for (const auto& [id, action] : m_actions) {
        const unsigned target = PostedBy(id);
        action->setEnabled(table.IsEnabled(target ? target : id, running));
    }
    if (QAction* a = Action(cmd::kViewToolbar)) a->setChecked(m_toolBar->isVisible());
    if (QAction* a = Action(cmd::kViewStatusBar)) a->setChecked(statusBar()->isVisible());
    // The selector changes what a USB transfer talks to: not during one.
    m_modelSelector->setEnabled(!running);
    if (running && m_progressBar->isHidden()) {
        m_progressBar->setRange(0, 0);
        m_progressBar->reset();
    }
    m_progressBar->setVisible(running);
    m_stopButton->setVisible(running);
}

void CMainFrame::RefreshRecentFiles(const QStringList& files) {
    for (QAction* a : m_recentActions) {
        m_fileMenu->removeAction(a);
        m_actions.erase(a->data().toUInt());
        a->deleteLater();
    }
    m_recentActions.clear();
    m_recentPlaceholder->setVisible(files.isEmpty());
    for (int i = 0; i < files.size(); ++i) {
        const unsigned id = cmd::kFileMru1 + static_cast<unsigned>(i);
        QString shown = files.at(i);
        shown.replace('&', "&&");
        QAction* action = MakeAction(id, QString("&%1 %2").arg(i + 1).arg(shown));
        m_fileMenu->insertAction(m_recentPlaceholder, action);
        m_recentActions.push_back(action);
    }
    UpdateCommandUI();
}

void CMainFrame::OnModelSelected(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const UsbModelRow* row = FindUsbModelRow(std::string_view(utf8.constData(), utf8.size()));
    if (!row) return;
    ShowMessageBox(AppMainWindow(), QString::fromUtf8(row->Message.data(),
                                                      static_cast<qsizetype>(row->Message.size())));
    UsbModelIds.Set(row->Ids);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_closeGuard && !m_closeGuard()) {
        event->ignore();
        return;
    }
    event->accept();
}
