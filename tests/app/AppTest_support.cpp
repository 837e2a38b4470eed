#include "AppTest_support.h"

#include <QDir>
#include <QSettings>

#include "app/CommunicationApp.h"
#include "view/CommunicationDoc.h"

bool CAppTest::Start() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("cfg"));
    QDir::setCurrent(m_dir.path());
    SetMessageHook([this](const QString& text, EButtons) {
        m_messages << text;
        if (m_onMessage) m_onMessage();
        return m_answers.isEmpty() ? EAnswer::Ok : m_answers.takeFirst();
    });
    SetFileDialogHook([this](bool save, const QString& suggested) {
        if (save) m_saveAsked << suggested;
        return QString();
    });
    m_app = std::make_unique<CCommunicationApp>();
    StartOptions options;
    options.showSplash = false;
    options.startupWait = false;
    return m_dir.isValid() && m_app->InitInstance(options);
}

QString CAppTest::OpenSource(const std::string& text) {
    const QString path = m_dir.filePath("source.txt");
    WriteAll(path, text);
    return m_app->Doc()->OpenDocument(path) ? path : QString();
}
