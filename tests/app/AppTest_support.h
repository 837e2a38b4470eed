// What the window's tests share: the program started as a test wants it
// (settings and working folder in a temporary place, no splash, no pause),
// every message box and file dialog answered here, files read back whole.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>

#include "QtFiles_support.h"
#include "ui/MessageSeam.h"

class CCommunicationApp;

class CAppTest : public QObject {
protected:
    QTemporaryDir m_dir;
    std::unique_ptr<CCommunicationApp> m_app;
    QStringList m_messages;             // every box shown
    QList<EAnswer> m_answers;           // their answers in turn, then OK
    std::function<void()> m_onMessage;  // runs while a box shows
    QStringList m_saveAsked;            // names Save offered (always cancelled)

    bool Start();
    // Before each test: no boxes seen, none to answer, nothing offered, and
    // every dialog a test scripted answered the plain way again.
    void Forget();
    // Writes text to source.txt and opens it as the document; empty on failure.
    QString OpenSource(const std::string& text);
    // The serial settings as a test of the window wants them: defaults on COM1.
    static void UseCom1(int receiveTimeOut, int rowDelay = 200);

private:
    void HookDialogs();
};
