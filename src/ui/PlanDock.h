// The plan view beside the text: what was found and how many points, the
// plan, its legend and the checklist of flagged points. It reads the view's
// text through the one survey-point reader whenever the text changes, on a
// thread of its own, at most as often as the window refreshes a transfer's
// text, and only while it is open.
#pragma once

#include <QDockWidget>
#include <QElapsedTimer>
#include <QTimer>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/PlanCanvas.h"

class QLabel;
class QListView;
class QTabWidget;
class QToolButton;
class QAction;
class QPrinter;
class CPlanListModel;

// What the plan needs of the text view and the document.
struct CPlanSource {
    std::function<std::string()> text;          // the view's bytes
    std::function<long()> caretLine;            // the caret's line, from 0
    std::function<void(size_t line)> goToLine;  // caret to a line's start
    std::function<QString()> title;             // the document's name
};

enum class EPlanFile { kPng, kSvg, kPdf };

// A row of the checklist: a flagged point, or a line that gave none.
struct CPlanCheckRow {
    size_t line;
    size_t point;  // npos: an unread line
};

class CPlanDock : public QDockWidget {
    Q_OBJECT
public:
    // Refreshes come no closer than this, and never take more than a fifth
    // of the time between them.
    static constexpr int kRefreshMs = 100;
    static constexpr int kLoadShare = 5;

    CPlanDock(CPlanSource source, QWidget* parent = nullptr);
    ~CPlanDock() override;

    // The view's text changed: read it again soon (in the background).
    void TextChanged();
    // Reads the text now, on this thread.
    void Refresh();
    // The caret moved to a line: mark the point read from it.
    void CaretMoved(long line);

    CPlanCanvas* Canvas() const { return m_canvas; }
    const CPlanModel* Model() const;
    QString FoundText() const;
    // The line above a printed or written plan: the document and FoundText.
    QString Heading() const;
    QListView* CheckList() const { return m_checkList; }
    QListView* Legend() const { return m_legend; }
    // Goes to a row of the checklist: marks its point and puts the caret on its line.
    void OpenCheckRow(int row);

    // The picture of what the plan shows as a file's bytes; empty on failure.
    std::string FileBytes(EPlanFile kind);
    // Asks for a name and writes the file; false when cancelled or failed
    // (the failure is shown).
    bool ExportFile(EPlanFile kind);
    // Draws the sheet on a printer that is set up already.
    bool PrintOn(QPrinter& printer);
    void Print();

    const CPlanLook& Look() const { return m_canvas->Look(); }
    void SetLabels(bool names, bool codes, bool heights);

signals:
    // The user closed the dock with its own button.
    void Closed();
    void LabelsChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ReadInBackground();
    void ReaderLoop();
    void TakeModel(unsigned generation, std::shared_ptr<const CPlanModel> model, qint64 tookMs);
    void Show(std::shared_ptr<const CPlanModel> model);
    void OnPointClicked(size_t point);
    void UpdateLists();

    CPlanSource m_source;
    CPlanCanvas* m_canvas = nullptr;
    QLabel* m_found = nullptr;
    QTabWidget* m_tabs = nullptr;
    QListView* m_legend = nullptr;
    QListView* m_checkList = nullptr;
    CPlanListModel* m_legendModel = nullptr;
    CPlanListModel* m_checkModel = nullptr;
    QToolButton* m_exportButton = nullptr;
    QToolButton* m_printButton = nullptr;
    QAction* m_labelNames = nullptr;
    QAction* m_labelCodes = nullptr;
    QAction* m_labelHeights = nullptr;
    std::shared_ptr<CPlanScene> m_scene;
    std::shared_ptr<std::vector<CPlanCheckRow>> m_checkRows;
    bool m_stale = true;  // the text changed since it was read
    bool m_reading = false;
    unsigned m_generation = 0;  // of the last read started; older results are dropped
    // The reading thread and the text it is asked to read next.
    std::thread m_reader;
    std::mutex m_readerMutex;
    std::condition_variable m_readerWake;
    std::string m_request;             // guarded by m_readerMutex
    unsigned m_requestGeneration = 0;  // guarded by m_readerMutex
    bool m_requested = false;          // guarded by m_readerMutex
    bool m_readerQuit = false;         // guarded by m_readerMutex
    QTimer m_timer;
    QElapsedTimer m_sinceRefresh;
    qint64 m_waitMs = 0;  // until the next refresh may run
};
