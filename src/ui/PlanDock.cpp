#include "ui/PlanDock.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractListModel>
#include <QBuffer>
#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSplitter>
#include <QSvgGenerator>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cerrno>

#include "base/SafeFile.h"
#include "ui/MessageSeam.h"
#include "ui/PlanTexts.h"
#include "ui/ViewText.h"

// A list whose rows are computed when shown: a checklist or a legend of
// tens of thousands of rows costs nothing until scrolled to.
class CPlanListModel : public QAbstractListModel {
public:
    using Data = std::function<QVariant(int row, int role)>;
    using QAbstractListModel::QAbstractListModel;
    void Reset(int rows, Data data) {
        beginResetModel();
        m_rows = rows;
        m_data = std::move(data);
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : m_rows; }
    QVariant data(const QModelIndex& index, int role) const override {
        return m_data && index.isValid() ? m_data(index.row(), role) : QVariant();
    }

private:
    int m_rows = 0;
    Data m_data;
};

namespace {
constexpr int kPdfDpi = 300;
constexpr int kReaderNice = 19;
constexpr int kSheetMinWidth = 1200;

QString U(const char* s) {
    return QString::fromUtf8(s);
}

QIcon Swatch(const QColor& colour) {
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(150));
    p.setBrush(colour);
    p.drawEllipse(QRectF(1, 1, 10, 10));
    return QIcon(pixmap);
}
}  // namespace

CPlanDock::CPlanDock(CPlanSource source, QWidget* parent)
    : QDockWidget(U(plantext::kTitle), parent), m_source(std::move(source)) {
    setObjectName("PlanDock");
    auto* panel = new QWidget;
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);

    auto* bar = new QHBoxLayout;
    m_found = new QLabel(U(plantext::kNoCoordinates));
    m_found->setObjectName("PlanFound");
    bar->addWidget(m_found, 1);
    auto* fit = new QToolButton;
    fit->setObjectName("PlanFit");
    fit->setText(U(plantext::kFit));
    fit->setToolTip(U(plantext::kFitTip));
    bar->addWidget(fit);
    auto* labels = new QToolButton;
    labels->setText(U(plantext::kLabels));
    labels->setPopupMode(QToolButton::InstantPopup);
    auto* labelMenu = new QMenu(labels);
    m_labelNames = labelMenu->addAction(U(plantext::kLabelNames));
    m_labelCodes = labelMenu->addAction(U(plantext::kLabelCodes));
    m_labelHeights = labelMenu->addAction(U(plantext::kLabelHeights));
    for (QAction* a : {m_labelNames, m_labelCodes, m_labelHeights}) {
        a->setCheckable(true);
        connect(a, &QAction::toggled, this, [this] {
            SetLabels(m_labelNames->isChecked(), m_labelCodes->isChecked(),
                      m_labelHeights->isChecked());
        });
    }
    labels->setMenu(labelMenu);
    bar->addWidget(labels);
    auto* exporting = m_exportButton = new QToolButton;
    exporting->setText(U(plantext::kExport));
    exporting->setPopupMode(QToolButton::InstantPopup);
    auto* exportMenu = new QMenu(exporting);
    connect(exportMenu->addAction(U(plantext::kExportPng)), &QAction::triggered, this,
            [this] { ExportFile(EPlanFile::kPng); });
    connect(exportMenu->addAction(U(plantext::kExportSvg)), &QAction::triggered, this,
            [this] { ExportFile(EPlanFile::kSvg); });
    connect(exportMenu->addAction(U(plantext::kExportPdf)), &QAction::triggered, this,
            [this] { ExportFile(EPlanFile::kPdf); });
    exporting->setMenu(exportMenu);
    exporting->setEnabled(false);
    bar->addWidget(exporting);
    auto* print = m_printButton = new QToolButton;
    print->setText(U(plantext::kPrint));
    print->setEnabled(false);
    bar->addWidget(print);
    column->addLayout(bar);

    auto* split = new QSplitter(Qt::Vertical);
    m_canvas = new CPlanCanvas;
    split->addWidget(m_canvas);
    m_tabs = new QTabWidget;
    m_legend = new QListView;
    m_legend->setObjectName("PlanLegend");
    m_legend->setUniformItemSizes(true);
    m_legend->setSelectionMode(QAbstractItemView::NoSelection);
    m_legendModel = new CPlanListModel(this);
    m_legend->setModel(m_legendModel);
    m_checkList = new QListView;
    m_checkList->setObjectName("PlanCheckList");
    m_checkList->setUniformItemSizes(true);
    m_checkModel = new CPlanListModel(this);
    m_checkList->setModel(m_checkModel);
    m_tabs->addTab(m_legend, U(plantext::kLegend));
    m_tabs->addTab(m_checkList, U(plantext::kCheck).arg(0));
    split->addWidget(m_tabs);
    split->setStretchFactor(0, 4);
    split->setStretchFactor(1, 1);
    column->addWidget(split, 1);
    setWidget(panel);

    m_labelNames->setChecked(true);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &CPlanDock::ReadInBackground);
    connect(fit, &QToolButton::clicked, m_canvas, &CPlanCanvas::FitAll);
    connect(print, &QToolButton::clicked, this, &CPlanDock::Print);
    connect(m_canvas, &CPlanCanvas::PointClicked, this, &CPlanDock::OnPointClicked);
    connect(m_checkList, &QListView::activated, this,
            [this](const QModelIndex& index) { OpenCheckRow(index.row()); });
    connect(m_checkList, &QListView::clicked, this,
            [this](const QModelIndex& index) { OpenCheckRow(index.row()); });
}

CPlanDock::~CPlanDock() {
    {
        std::lock_guard lock(m_readerMutex);
        m_readerQuit = true;
    }
    m_readerWake.notify_one();
    if (m_reader.joinable()) m_reader.join();
}

const CPlanModel* CPlanDock::Model() const {
    return m_scene ? &m_scene->Model() : nullptr;
}

QString CPlanDock::FoundText() const {
    const CPlanModel* m = Model();
    if (!m || m->Form() == ESurveyForm::kNone || m->Size() == 0) return U(plantext::kNoCoordinates);
    const std::string_view form = SurveyFormName(m->Form());
    return U(plantext::kFound)
        .arg(QString::fromUtf8(form.data(), static_cast<qsizetype>(form.size())),
             QString::fromStdString(GroupedCount(m->Size())));
}

QString CPlanDock::Heading() const {
    const QString title = m_source.title ? m_source.title() : QString();
    return title.isEmpty() ? FoundText() : title + QStringLiteral("    ") + FoundText();
}

void CPlanDock::TextChanged() {
    m_stale = true;
    // A closed plan reads nothing; it reads the text when it opens. While a
    // text is being read, the next one waits for it.
    if (isHidden() || m_timer.isActive() || m_reading) return;
    const qint64 wait =
        m_sinceRefresh.isValid() ? std::max<qint64>(0, m_waitMs - m_sinceRefresh.elapsed()) : 0;
    m_timer.start(static_cast<int>(wait));
}

void CPlanDock::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    if (m_stale) TextChanged();
}

void CPlanDock::ReadInBackground() {
    std::string text = m_source.text ? m_source.text() : std::string();
    m_stale = false;
    m_reading = true;
    const unsigned generation = ++m_generation;
    {
        std::lock_guard lock(m_readerMutex);
        m_request = std::move(text);
        m_requestGeneration = generation;
        m_requested = true;
    }
    m_readerWake.notify_one();
    if (!m_reader.joinable()) m_reader = std::thread([this] { ReaderLoop(); });
}

// Reading a large text takes tens of milliseconds: the window goes on
// meanwhile (a download, typing) and takes the points when they are ready.
// One thread for the dock's life: a thread that ended would have to be
// joined, and a reader that runs last may take a while to get to its end.
void CPlanDock::ReaderLoop() {
    // Whatever else runs (a transfer's worker above all) goes first.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kReaderNice);
    for (;;) {
        std::string text;
        unsigned generation = 0;
        {
            std::unique_lock lock(m_readerMutex);
            m_readerWake.wait(lock, [this] { return m_requested || m_readerQuit; });
            if (m_readerQuit) return;
            text.swap(m_request);
            generation = m_requestGeneration;
            m_requested = false;
        }
        QElapsedTimer took;
        took.start();
        auto model = std::make_shared<const CPlanModel>(ReadSurveyPoints(text), text);
        const qint64 ms = took.elapsed();
        QMetaObject::invokeMethod(
            this, [this, generation, model, ms] { TakeModel(generation, model, ms); },
            Qt::QueuedConnection);
    }
}

void CPlanDock::TakeModel(unsigned generation, std::shared_ptr<const CPlanModel> model,
                          qint64 tookMs) {
    if (generation != m_generation) return;  // a later read is on its way or done
    m_reading = false;
    Show(std::move(model));
    // Reading gets at most a share of the time, however often the text changes.
    m_waitMs = std::max<qint64>(kRefreshMs, tookMs * kLoadShare);
    m_sinceRefresh.start();
    if (m_stale) TextChanged();
}

void CPlanDock::Refresh() {
    m_timer.stop();
    ++m_generation;  // what a reader still running brings is older
    m_reading = false;
    const std::string text = m_source.text ? m_source.text() : std::string();
    m_stale = false;
    Show(std::make_shared<const CPlanModel>(ReadSurveyPoints(text), text));
}

void CPlanDock::Show(std::shared_ptr<const CPlanModel> model) {
    auto scene = std::make_shared<CPlanScene>(std::move(model));
    if (m_scene) scene->TakeLabelsFrom(*m_scene);
    m_scene = std::move(scene);
    m_canvas->SetScene(m_scene);
    m_found->setText(FoundText());
    const bool any = m_scene->Model().Bounds().valid;
    m_exportButton->setEnabled(any);
    m_printButton->setEnabled(any);
    UpdateLists();
    if (m_source.caretLine) CaretMoved(m_source.caretLine());
}

void CPlanDock::UpdateLists() {
    auto scene = m_scene;
    const CPlanModel& m = scene->Model();
    m_legendModel->Reset(static_cast<int>(m.Codes().size()), [scene](int row, int role) {
        const CPlanCode& code = scene->Model().Codes()[static_cast<size_t>(row)];
        const size_t group =
            std::min<size_t>(static_cast<size_t>(row), CPlanScene::kNamedColours - 1);
        if (role == Qt::DecorationRole) return QVariant(Swatch(CPlanScene::Colour(group)));
        if (role != Qt::DisplayRole) return QVariant();
        const QString name = code.code.empty() ? U(plantext::kNoCode) : DecodeViewText(code.code);
        return QVariant(QStringLiteral("%1  %2").arg(name).arg(code.count));
    });
    auto rows = std::make_shared<std::vector<CPlanCheckRow>>();
    for (size_t i : m.Flagged()) rows->push_back({m.LineOfPoint(i), i});
    for (size_t line : m.UnreadLines()) rows->push_back({line, CPlanModel::npos});
    std::stable_sort(
        rows->begin(), rows->end(),
        [](const CPlanCheckRow& a, const CPlanCheckRow& b) { return a.line < b.line; });
    m_checkModel->Reset(static_cast<int>(rows->size()), [scene, rows](int r, int role) {
        if (role != Qt::DisplayRole) return QVariant();
        const CPlanCheckRow& row = (*rows)[static_cast<size_t>(r)];
        const QString line = U(plantext::kLine).arg(row.line + 1);
        if (row.point == CPlanModel::npos) return QVariant(line + "  " + U(plantext::kUnread));
        const uint8_t flags = scene->Model().Flags(row.point);
        QStringList why;
        if (flags & kPlanDuplicate) why << U(plantext::kDuplicate);
        if (flags & kPlanZero) why << U(plantext::kZero);
        if (flags & kPlanUnplaced) why << U(plantext::kUnplaced);
        return QVariant(line + "  " + scene->Name(row.point) + "  " + why.join(", "));
    });
    m_tabs->setTabText(1, U(plantext::kCheck).arg(rows->size()));
    m_checkRows = std::move(rows);
}

void CPlanDock::OpenCheckRow(int row) {
    if (!m_checkRows || row < 0 || static_cast<size_t>(row) >= m_checkRows->size()) return;
    const CPlanCheckRow& r = (*m_checkRows)[static_cast<size_t>(row)];
    m_checkList->setCurrentIndex(m_checkModel->index(row));
    if (r.point != CPlanModel::npos) m_canvas->SetSelected(r.point, true);
    if (m_source.goToLine) m_source.goToLine(r.line);
}

void CPlanDock::CaretMoved(long line) {
    if (!m_scene || line < 0) return;
    const CPlanModel& m = m_scene->Model();
    const size_t selected = m_canvas->Selected();
    // Several records share a framed line: the one chosen stays chosen.
    if (selected != CPlanModel::npos && m.LineOfPoint(selected) == static_cast<size_t>(line))
        return;
    m_canvas->SetSelected(m.PointOnLine(static_cast<size_t>(line)), true);
}

void CPlanDock::OnPointClicked(size_t point) {
    const CPlanModel* m = Model();
    if (!m || point >= m->Size() || !m_source.goToLine) return;
    m_source.goToLine(m->LineOfPoint(point));
}

void CPlanDock::SetLabels(bool names, bool codes, bool heights) {
    for (auto [action, on] : {std::pair{m_labelNames, names}, std::pair{m_labelCodes, codes},
                              std::pair{m_labelHeights, heights}}) {
        const QSignalBlocker quiet(action);
        action->setChecked(on);
    }
    CPlanLook look = m_canvas->Look();
    if (look.names == names && look.codes == codes && look.heights == heights) return;
    look.names = names;
    look.codes = codes;
    look.heights = heights;
    m_canvas->SetLook(look);
    emit LabelsChanged();
}

void CPlanDock::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);
    if (event->isAccepted()) emit Closed();
}

std::string CPlanDock::FileBytes(EPlanFile kind) {
    if (!m_scene) Refresh();
    const CPlanBounds shown = m_canvas->Shown();
    const QString title = m_source.title ? m_source.title() : QString();
    const QString heading = Heading();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    // A sheet twice the plan's size on screen, so the picture stays sharp.
    const double aspect =
        static_cast<double>(std::max(1, m_canvas->height())) / std::max(1, m_canvas->width());
    const int w = std::max(kSheetMinWidth, 2 * m_canvas->width());
    const QSize sheet(w, static_cast<int>(w * aspect) + w / 30);
    bool ok = true;
    switch (kind) {
        case EPlanFile::kPng: {
            QImage image(sheet, QImage::Format_RGB32);
            QPainter painter(&image);
            PaintPlanSheet(painter, QRectF(QPointF(0, 0), sheet), *m_scene, shown, Look(), heading,
                           0);
            painter.end();
            ok = image.save(&buffer, "PNG");
            break;
        }
        case EPlanFile::kSvg: {
            QSvgGenerator svg;
            svg.setOutputDevice(&buffer);
            svg.setSize(sheet);
            svg.setViewBox(QRect(QPoint(0, 0), sheet));
            svg.setTitle(title);
            svg.setResolution(96);  // the size in millimetres a screen would show
            QPainter painter;
            ok = painter.begin(&svg);
            if (ok)
                PaintPlanSheet(painter, QRectF(QPointF(0, 0), sheet), *m_scene, shown, Look(),
                               heading, 0);
            break;
        }
        case EPlanFile::kPdf: {
            QPdfWriter pdf(&buffer);
            pdf.setResolution(kPdfDpi);
            pdf.setPageSize(QPageSize(QPageSize::A4));
            pdf.setPageOrientation(aspect < 1 ? QPageLayout::Landscape : QPageLayout::Portrait);
            pdf.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
            pdf.setTitle(title);
            QPainter painter;
            ok = painter.begin(&pdf);
            if (ok) {
                const QRect page = pdf.pageLayout().paintRectPixels(kPdfDpi);
                PaintPlanSheet(painter, QRectF(QPointF(0, 0), page.size()), *m_scene, shown, Look(),
                               heading, kPdfDpi);
            }
            break;
        }
    }
    buffer.close();
    if (!ok) return {};
    return buffer.data().toStdString();
}

bool CPlanDock::ExportFile(EPlanFile kind) {
    static const char* const kSuffix[] = {".png", ".svg", ".pdf"};
    const char* suffix = kSuffix[static_cast<int>(kind)];
    QString base = m_source.title ? m_source.title() : QString();
    const qsizetype dot = base.lastIndexOf('.');
    if (dot > 0) base.truncate(dot);
    if (base.isEmpty()) base = U(plantext::kTitle);
    QString path = AskSaveFileName(this, base + suffix);
    if (path.isEmpty()) return false;
    if (!path.endsWith(suffix, Qt::CaseInsensitive)) path += suffix;
    const std::string native = QFile::encodeName(path).toStdString();
    // A FIFO or a device would hold the window until someone reads it; a
    // write-protected file stays protected, as the document's save keeps it.
    struct stat st {};
    int error = 0;
    if (::lstat(native.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            error = EISDIR;
        else if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            error = kFileNotRegular;
        else if (S_ISREG(st.st_mode) && ::access(native.c_str(), W_OK) != 0)
            error = errno;
    }
    if (error == 0) {
        const std::string bytes = FileBytes(kind);
        error = bytes.empty() ? EIO : ReplaceFile(native, bytes);
    }
    if (error != 0) {
        ShowMessageBox(this, U(plantext::kExportFailed) + '\n' + path + ": " +
                                 QString::fromStdString(FileErrorText(error)));
        return false;
    }
    return true;
}

bool CPlanDock::PrintOn(QPrinter& printer) {
    if (!m_scene) Refresh();
    QPainter painter;
    if (!painter.begin(&printer)) return false;
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    PaintPlanSheet(painter, QRectF(QPointF(0, 0), page.size()), *m_scene, m_canvas->Shown(), Look(),
                   Heading(), printer.resolution());
    return painter.end();
}

void CPlanDock::Print() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(m_canvas->width() > m_canvas->height() ? QPageLayout::Landscape
                                                                      : QPageLayout::Portrait);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!PrintOn(printer)) ShowMessageBox(this, U(plantext::kPrintFailed));
}
