// The main window: menu, toolbar with the model selector, status bar, the
// command bar and the one edit view. Every command passes OnCommand.
#pragma once

#include <QMainWindow>
#include <map>
#include <vector>

class CCommunicationView;
class QAction;
class QComboBox;
class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QToolButton;
class QShortcut;
class QToolBar;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CCommunicationView* view);
    ~CMainFrame() override;

    // The rest of the frame's creation: splash, then the start-up wait.
    void OnCreate(bool startupWait);

    // The command pre-step, then the handler. False: no handler took it.
    bool OnCommand(unsigned id);
    // Like a posted command message: runs after the current event is done.
    void PostCommand(unsigned id);
    // Enables and checks the commands as they stand now.
    void UpdateCommandUI();
    void RefreshRecentFiles(const QStringList& files);
    void ShowStatusText(const QString& text);
    // The transfer's progress beside the message pane: a percentage, or busy
    // (percent < 0) where no total is known. Shown while a transfer runs.
    void ShowTransferProgress(const QString& text, int percent);
    QProgressBar* TransferProgressBar() const { return m_progressBar; }
    QToolButton* StopButton() const { return m_stopButton; }

    QAction* Action(unsigned id) const;
    QToolBar* ToolBar() const { return m_toolBar; }
    QDockWidget* CommandBar() const { return m_commandBar; }
    QComboBox* ModelSelector() const { return m_modelSelector; }
    QMenu* FileMenu() const { return m_fileMenu; }
    CCommunicationView* View() const { return m_view; }

    // Set by the application: asked before the window closes.
    void SetCloseGuard(std::function<bool()> guard) { m_closeGuard = std::move(guard); }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* MakeAction(unsigned id, const QString& text);
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateCommandBar();
    void CreateAccelerators();
    void OnModelSelected(const QString& text);
    void RefreshLockPanes();

    CCommunicationView* m_view;
    std::vector<QLabel*> m_lockPanes;  // Caps, Num, Scroll
    QToolBar* m_toolBar = nullptr;
    QComboBox* m_modelSelector = nullptr;
    QDockWidget* m_commandBar = nullptr;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentPlaceholder = nullptr;
    std::vector<QAction*> m_recentActions;
    QLabel* m_idle = nullptr;
    QProgressBar* m_progressBar = nullptr;
    QToolButton* m_stopButton = nullptr;
    std::map<unsigned, QAction*> m_actions;
    std::vector<QShortcut*> m_accelerators;
    std::function<bool()> m_closeGuard;
};
