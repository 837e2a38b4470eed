// Print preview of the view's text. It opens on the first page at once and
// counts the rest of the pages while the window goes on working; closing it
// stops the counting. Printing runs page by page behind a progress box with
// 取消.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string_view>

#include "view/PrintLayout.h"

class QLabel;
class QPrinter;
class QPushButton;
class QScrollArea;
class CPreviewPages;

class CPrintPreviewDlg : public QDialog {
    Q_OBJECT
public:
    // exec() result when 打印 was pressed: the caller prints.
    static constexpr int kPrintRequested = 2;

    CPrintPreviewDlg(std::string_view bytes, const QFont& font, const QPrinter& printer,
                     QWidget* parent = nullptr);

    const CPrintLayout& Layout() const { return m_layout; }
    // The pages are still being counted.
    bool IsCounting() const { return m_counter.isActive(); }
    int CurrentPage() const { return m_page; }  // 0-based, the first one shown
    QString PageText() const;

    void NextPage();
    void PrevPage();
    void ToggleTwoPages();
    void ZoomIn();
    void ZoomOut();
    void done(int result) override;  // also stops the counting

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void CountMore();
    void Update();

    CPrintLayout m_layout;
    QTimer m_counter;
    int m_page = 0;
    bool m_twoPages = false;
    int m_zoom = 0;  // 0: whole pages in the window, then larger
    QScrollArea* m_scroll = nullptr;
    CPreviewPages* m_pages = nullptr;
    QLabel* m_status = nullptr;
    QPushButton *m_next = nullptr, *m_prev = nullptr, *m_two = nullptr, *m_zoomIn = nullptr,
                *m_zoomOut = nullptr;
};

// Prints the pages the printer asks for (all, or its page range), one at a
// time behind a progress box whose 取消 stops the job; false when it was
// cancelled or could not start.
bool PrintLayoutPages(CPrintLayout& layout, QPrinter& printer, QWidget* parent);
