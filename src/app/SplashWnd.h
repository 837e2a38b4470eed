// The start-up picture: shown while the main frame is created, gone at the
// first timer tick, key press or mouse press (that press does nothing else).
#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

class CSplashWnd : public QWidget {
    Q_OBJECT
public:
    static void EnableSplashScreen(bool enable);
    static void ShowSplashScreen(QWidget* parent);
    static void HideSplashScreen();
    // Offered every event before it is delivered; true: it closed the splash
    // and must not be delivered.
    static bool PreTranslateAppMessage(const QEvent* event);
    static CSplashWnd* Current() { return s_current; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CSplashWnd();
    ~CSplashWnd() override;

    static bool s_enabled;
    static CSplashWnd* s_current;

    QPixmap m_picture;
    QTimer m_timer;
};
