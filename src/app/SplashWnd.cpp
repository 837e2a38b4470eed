#include "app/SplashWnd.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QScreen>

#include "app/AppIcons.h"

bool CSplashWnd::s_enabled = false;
CSplashWnd* CSplashWnd::s_current = nullptr;

namespace {
constexpr int kSplashTimerMs = 750;

// Delivers no key or mouse press while the splash is up except the one that
// closes it.
class CSplashFilter : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        return CSplashWnd::PreTranslateAppMessage(event);
    }
};
CSplashFilter* g_filter = nullptr;
}  // namespace

CSplashWnd::CSplashWnd()
    : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    m_picture = SplashPicture();
    setFixedSize(m_picture.size());
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, [] { HideSplashScreen(); });
}

CSplashWnd::~CSplashWnd() {
    if (s_current == this) s_current = nullptr;
}

void CSplashWnd::EnableSplashScreen(bool enable) {
    s_enabled = enable;
}

void CSplashWnd::ShowSplashScreen(QWidget* parent) {
    if (!s_enabled || s_current) return;
    auto* splash = new CSplashWnd;
    if (splash->m_picture.isNull()) {
        delete splash;  // no picture: start-up goes on without one
        return;
    }
    s_current = splash;
    // Over the owner when it is visible, else in the middle of the screen.
    QRect area;
    if (parent && parent->isVisible())
        area = parent->frameGeometry();
    else if (QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    if (area.isValid()) splash->move(area.center() - splash->rect().center());
    splash->show();
    splash->m_timer.start(kSplashTimerMs);
    if (!g_filter) {
        g_filter = new CSplashFilter;
        qApp->installEventFilter(g_filter);
    }
    // Painted now: the window's thread sleeps before its event loop starts.
    splash->repaint();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    splash->repaint();
}

void CSplashWnd::HideSplashScreen() {
    if (!s_current) return;
    CSplashWnd* splash = s_current;
    s_current = nullptr;
    splash->m_timer.stop();
    splash->close();
    if (g_filter) {
        qApp->removeEventFilter(g_filter);
        delete g_filter;
        g_filter = nullptr;
    }
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w != splash && w->inherits("QMainWindow")) w->repaint();
}

bool CSplashWnd::PreTranslateAppMessage(const QEvent* event) {
    if (!s_current) return false;
    switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::MouseButtonPress:
        case QEvent::NonClientAreaMouseButtonPress:
            HideSplashScreen();
            return true;
        default:
            return false;
    }
}

void CSplashWnd::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, m_picture);
}
