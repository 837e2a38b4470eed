#include "AppTest_support.h"

#include <QDir>
#include <QSettings>
#include <cstring>

#include "app/CommunicationApp.h"
#include "config/LinkSettings.h"
#include "ui/BusyWork.h"
#include "ui/CrsChoiceDlg.h"
#include "ui/EditUi.h"
#include "view/CommunicationDoc.h"

void CAppTest::HookDialogs() {
    SetMessageHook([this](const QString& text, EButtons) {
        m_messages << text;
        if (m_onMessage) m_onMessage();
        return m_answers.isEmpty() ? EAnswer::Ok : m_answers.takeFirst();
    });
    SetFileDialogHook([this](bool save, const QString& suggested) {
        if (save) m_saveAsked << suggested;
        return QString();
    });
    SetEditDialogRunner({});
    SetBusyHook({});
    SetCrsChoiceHook(nullptr);
}

void CAppTest::Forget() {
    m_messages.clear();
    m_answers.clear();
    m_onMessage = nullptr;
    m_saveAsked.clear();
    HookDialogs();
}

bool CAppTest::Start() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("cfg"));
    QDir::setCurrent(m_dir.path());
    HookDialogs();
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

void CAppTest::UseCom1(int receiveTimeOut, int rowDelay) {
    ComSettings.Update([=](ComSettingsRecord& r) {
        r = ComSettingsRecord{};
        std::strcpy(r.COMPort, "COM1");
        r.ReceiveTimeOut = receiveTimeOut;
        r.RowDelay = rowDelay;
    });
}
