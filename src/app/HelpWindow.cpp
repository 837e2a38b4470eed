#include "app/HelpWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QRegularExpression>
#include <QScreen>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <filesystem>

#include "app/AppServices.h"
#include "app/AppStrings.h"
#include "base/Bounds.h"
#include "base/SafeFile.h"
#include "ui/MessageSeam.h"

namespace {
QStringList g_searchDirs;

// Only regular files are read: a FIFO or device named *.html would block.
bool IsRegularFile(const QString& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(path.toStdString()), ec);
}

// Pictures and pages alike are read only from regular files, so a page that
// names a FIFO or a device cannot hang the window.
class CHelpBrowser : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;
    QVariant loadResource(int type, const QUrl& name) override {
        const QUrl url = source().resolved(name);
        // Empty, not null: a null result makes the document read the file itself.
        if (url.isLocalFile() && !IsRegularFile(url.toLocalFile())) return QByteArray();
        return QTextBrowser::loadResource(type, name);
    }
};
}  // namespace

QStringList HelpSearchDirs() {
    if (!g_searchDirs.isEmpty()) return g_searchDirs;
    const QString bin = QCoreApplication::applicationDirPath();
    return {QDir::cleanPath(bin + "/help"),
            QDir::cleanPath(bin + "/../share/" + QString::fromUtf8(apptext::kHelpShareDir))};
}

void SetHelpSearchDirs(const QStringList& dirs) {
    g_searchDirs = dirs;
}

QList<HelpPage> ReadHelpContents(const QString& dir) {
    QList<HelpPage> pages;
    const QStringList names = QDir(dir).entryList({"*.html"}, QDir::Files, QDir::Name);
    static const QRegularExpression title("<title>([^<]*)</title>",
                                          QRegularExpression::CaseInsensitiveOption);
    for (const QString& name : names) {
        const QString path = QDir(dir).filePath(name);
        if (!IsRegularFile(path)) continue;
        const FileRead read = ReadFileBounded(path.toStdString(), kMaxOwnFileBytes);
        if (read.error != 0) continue;
        const QString html = QString::fromUtf8(read.bytes.data(), qsizetype(read.bytes.size()));
        const QString found = title.match(html).captured(1).trimmed();
        pages.append({name, found.isEmpty() ? name : found});
    }
    return pages;
}

QString FindHelpDir() {
    for (const QString& dir : HelpSearchDirs())
        if (!ReadHelpContents(dir).isEmpty()) return dir;
    return QString();
}

CHelpWindow::CHelpWindow(const QString& dir, const QList<HelpPage>& pages, QWidget* parent)
    : QMainWindow(parent, Qt::Window), m_dir(dir), m_pages(pages) {
    setObjectName("HelpWindow");
    setWindowTitle(QString::fromUtf8(apptext::kHelpTitle));
    auto* split = new QSplitter(this);
    m_contents = new QListWidget(split);
    m_contents->setObjectName("HelpContents");
    for (const HelpPage& page : m_pages) m_contents->addItem(page.title);
    m_browser = new CHelpBrowser(split);
    m_browser->setObjectName("HelpPage");
    // Links are checked here: a missing page is reported, nothing leaves the window.
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    split->addWidget(m_contents);
    split->addWidget(m_browser);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 700});
    setCentralWidget(split);

    QToolBar* bar = addToolBar(QString::fromUtf8(apptext::kHelpTitle));
    bar->setObjectName("HelpToolBar");
    bar->setMovable(false);
    QAction* back = bar->addAction(QString::fromUtf8(apptext::kHelpBack));
    QAction* forward = bar->addAction(QString::fromUtf8(apptext::kHelpForward));
    QAction* home = bar->addAction(QString::fromUtf8(apptext::kHelpHome));
    back->setShortcut(QKeySequence::Back);
    forward->setShortcut(QKeySequence::Forward);
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(back, &QAction::triggered, m_browser, &QTextBrowser::backward);
    connect(forward, &QAction::triggered, m_browser, &QTextBrowser::forward);
    connect(home, &QAction::triggered, this, [this] {
        if (!m_pages.isEmpty()) ShowPage(m_pages.first().file);
    });
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &CHelpWindow::OnLink);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &CHelpWindow::FollowSource);
    connect(m_browser, &QTextBrowser::historyChanged, this, &CHelpWindow::FollowSource);
    connect(m_contents, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < m_pages.size() && m_pages.at(row).file != CurrentPage())
            ShowPage(m_pages.at(row).file);
    });
    // Room for the pages, within a small screen (1024 x 600) with its title bar.
    const QRect room = screen() ? screen()->availableGeometry() : QRect(0, 0, 1024, 600);
    resize(std::min(960, room.width() * 9 / 10), std::min(680, room.height() * 85 / 100));

    if (!m_pages.isEmpty()) ShowPage(m_pages.first().file);
}

void CHelpWindow::keyPressEvent(QKeyEvent* event) {
    // Esc closes it, as it closes the program's dialogs.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

QString CHelpWindow::CurrentPage() const {
    return QFileInfo(m_browser->source().toLocalFile()).fileName();
}

void CHelpWindow::ShowPage(const QString& file) {
    m_browser->setSource(QUrl::fromLocalFile(QDir(m_dir).absoluteFilePath(file)));
    FollowSource();
}

void CHelpWindow::OnLink(const QUrl& url) {
    const QUrl target = m_browser->source().resolved(url);
    if (!target.isLocalFile()) {
        ShowMessageBox(AppMainWindow(),
                       QString::fromUtf8(apptext::kHelpExternalLink) + '\n' + url.toString());
        return;
    }
    if (!IsRegularFile(target.toLocalFile())) {
        ShowMessageBox(AppMainWindow(),
                       QString::fromUtf8(apptext::kHelpPageMissing) + '\n' + url.toString());
        return;
    }
    m_browser->setSource(target);
}

// The contents list marks the page shown, however it was reached.
void CHelpWindow::FollowSource() {
    const QString file = CurrentPage();
    for (int row = 0; row < m_pages.size(); ++row) {
        if (m_pages.at(row).file != file) continue;
        const QSignalBlocker quiet(m_contents);
        m_contents->setCurrentRow(row);
        return;
    }
    const QSignalBlocker quiet(m_contents);
    m_contents->setCurrentRow(-1);
}
