#include "view/PrintPreviewDlg.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <algorithm>
#include <climits>
#include <cmath>

#include "view/DocStrings.h"

namespace {
constexpr int kGap = 12;  // pixels around and between the sheets
constexpr double kZoom[] = {1.0, 2.0, 3.0};
constexpr int kZoomLevels = static_cast<int>(std::size(kZoom));
// The counting works in slices this long, so the window keeps answering.
constexpr auto kSlice = std::chrono::milliseconds(15);

QString T(const char* utf8) {
    return QString::fromUtf8(utf8);
}
}  // namespace

// The sheets shown: one or two pages side by side, scaled.
class CPreviewPages : public QWidget {
public:
    explicit CPreviewPages(CPrintPreviewDlg& dialog) : QWidget(nullptr), m_dialog(dialog) {}
    double m_scale = 0.1;
    int m_shown = 1;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::Dark));
        const CPrintLayout& layout = m_dialog.Layout();
        const QRectF paper = layout.Paper();
        const QSizeF sheet = paper.size() * m_scale;
        const double width = m_shown * sheet.width() + (m_shown - 1) * kGap;
        double x = std::max<double>(kGap, (this->width() - width) / 2);
        const double y = std::max<double>(kGap, (height() - sheet.height()) / 2);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        for (int i = 0; i < m_shown; ++i) {
            const int page = m_dialog.CurrentPage() + i;
            if (page >= layout.PageCount()) break;
            const QRectF target(QPointF(x, y), sheet);
            painter.fillRect(target, Qt::white);
            painter.setPen(Qt::black);
            painter.drawRect(target);
            painter.save();
            painter.setClipRect(target);
            painter.translate(target.topLeft());
            painter.scale(m_scale, m_scale);
            painter.translate(layout.Area().topLeft() - paper.topLeft());
            layout.DrawPage(painter, page);
            painter.restore();
            x += sheet.width() + kGap;
        }
    }

private:
    CPrintPreviewDlg& m_dialog;
};

CPrintPreviewDlg::CPrintPreviewDlg(std::string_view bytes, const QFont& font,
                                   const QPrinter& printer, QWidget* parent)
    : QDialog(parent), m_layout(bytes, font, printer) {
    setWindowTitle(T("打印预览"));
    auto* print = new QPushButton(T("打印(&P)..."), this);
    m_next = new QPushButton(T("下一页(&N)"), this);
    m_prev = new QPushButton(T("上一页(&V)"), this);
    m_two = new QPushButton(T("两页(&T)"), this);
    m_zoomIn = new QPushButton(T("放大(&I)"), this);
    m_zoomOut = new QPushButton(T("缩小(&O)"), this);
    auto* close = new QPushButton(T("关闭(&C)"), this);
    m_status = new QLabel(this);
    auto* bar = new QHBoxLayout;
    for (QPushButton* button : {print, m_next, m_prev, m_two, m_zoomIn, m_zoomOut, close}) {
        button->setAutoDefault(false);
        bar->addWidget(button);
    }
    bar->addSpacing(kGap);
    bar->addWidget(m_status, 1);
    m_pages = new CPreviewPages(*this);
    m_scroll = new QScrollArea(this);
    m_scroll->setWidget(m_pages);
    m_scroll->setWidgetResizable(true);
    m_scroll->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    connect(print, &QPushButton::clicked, this, [this] { done(kPrintRequested); });
    connect(m_next, &QPushButton::clicked, this, &CPrintPreviewDlg::NextPage);
    connect(m_prev, &QPushButton::clicked, this, &CPrintPreviewDlg::PrevPage);
    connect(m_two, &QPushButton::clicked, this, &CPrintPreviewDlg::ToggleTwoPages);
    connect(m_zoomIn, &QPushButton::clicked, this, &CPrintPreviewDlg::ZoomIn);
    connect(m_zoomOut, &QPushButton::clicked, this, &CPrintPreviewDlg::ZoomOut);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(new QShortcut(QKeySequence(Qt::Key_PageDown), this), &QShortcut::activated, this,
            &CPrintPreviewDlg::NextPage);
    connect(new QShortcut(QKeySequence(Qt::Key_PageUp), this), &QShortcut::activated, this,
            &CPrintPreviewDlg::PrevPage);

    // The pages shown are found now (in Update), the others a slice at a time
    // while the preview shows.
    m_counter.setInterval(0);
    connect(&m_counter, &QTimer::timeout, this, &CPrintPreviewDlg::CountMore);
    resize(900, 700);
    setWindowState(windowState() | Qt::WindowMaximized);
    Update();
    if (!m_layout.IsComplete()) m_counter.start();
}

void CPrintPreviewDlg::CountMore() {
    if (m_layout.LayOutMore(kSlice)) m_counter.stop();
    Update();
}

QString CPrintPreviewDlg::PageText() const {
    const int last = std::min(m_page + (m_twoPages ? 2 : 1), m_layout.PageCount());
    QString text = last > m_page + 1 ? T("第 %1-%2 页").arg(m_page + 1).arg(last)
                                     : T("第 %1 页").arg(m_page + 1);
    if (m_layout.IsComplete())
        text += T("，共 %1 页").arg(m_layout.PageCount());
    else
        text += T("，已排 %1 页…").arg(m_layout.PageCount());
    return text;
}

void CPrintPreviewDlg::NextPage() {
    m_layout.LayOutUpTo(m_page + 1);
    if (m_page + 1 < m_layout.PageCount()) ++m_page;
    Update();
}

void CPrintPreviewDlg::PrevPage() {
    if (m_page > 0) --m_page;
    Update();
}

void CPrintPreviewDlg::ToggleTwoPages() {
    m_twoPages = !m_twoPages;
    m_two->setText(m_twoPages ? T("一页(&O)") : T("两页(&T)"));
    Update();
}

void CPrintPreviewDlg::ZoomIn() {
    m_zoom = std::min(m_zoom + 1, kZoomLevels - 1);
    Update();
}

void CPrintPreviewDlg::ZoomOut() {
    m_zoom = std::max(m_zoom - 1, 0);
    Update();
}

void CPrintPreviewDlg::done(int result) {
    m_counter.stop();
    QDialog::done(result);
}

void CPrintPreviewDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Update();
}

void CPrintPreviewDlg::Update() {
    // The page after the one shown is found now if the counting has not got there.
    m_layout.LayOutUpTo(m_page + (m_twoPages ? 1 : 0) + 1);
    const int shown = m_twoPages ? 2 : 1;
    const QSizeF paper = m_layout.Paper().size();
    const QSize room = m_scroll->viewport()->size();
    const double fit =
        std::max(0.01, std::min((room.width() - (shown + 1) * kGap) / (shown * paper.width()),
                                (room.height() - 2 * kGap) / paper.height()));
    m_pages->m_scale = fit * kZoom[m_zoom];
    m_pages->m_shown = shown;
    m_pages->setMinimumSize(
        static_cast<int>(std::ceil(shown * paper.width() * m_pages->m_scale + (shown + 1) * kGap)),
        static_cast<int>(std::ceil(paper.height() * m_pages->m_scale + 2 * kGap)));
    m_pages->update();
    m_next->setEnabled(m_page + 1 < m_layout.PageCount());
    m_prev->setEnabled(m_page > 0);
    m_zoomIn->setEnabled(m_zoom + 1 < kZoomLevels);
    m_zoomOut->setEnabled(m_zoom > 0);
    m_status->setText(PageText());
}

bool PrintLayoutPages(CPrintLayout& layout, QPrinter& printer, QWidget* parent) {
    // Counting every page takes a moment even at the open bound; then the
    // progress can say how far the job is.
    layout.LayOutUpTo(INT_MAX);
    // Pages are numbered from 1 in the printer's range; 0 means all.
    const int first = printer.fromPage() > 0 ? printer.fromPage() - 1 : 0;
    const int last =
        std::min(printer.toPage() > 0 ? printer.toPage() - 1 : INT_MAX, layout.PageCount() - 1);
    if (first > last) return true;  // a range past the last page: nothing to print
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    QProgressDialog progress(T("正在打印"), T("取消"), 0, std::max(0, last - first + 1), parent);
    progress.setWindowTitle(T(doctext::kAppTitle));
    progress.setWindowModality(Qt::ApplicationModal);  // the floating command bar too
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    for (int page = first; page <= last; ++page) {
        if (page > first) printer.newPage();
        layout.DrawPage(painter, page);
        progress.setLabelText(T("正在打印\n第 %1 页").arg(page + 1));
        progress.setValue(page - first + 1);
        QCoreApplication::processEvents();
        if (progress.wasCanceled()) {
            printer.abort();
            return false;
        }
    }
    return painter.end();
}
