#include "AppTest_support.h"

#include <QDir>
#include <QFile>
#include <QSettings>

#include "app/CommunicationApp.h"
#include "doc/CommunicationDoc.h"

std::unique_ptr<CCommunicationApp> StartTestApp(const QString& dir) {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir + "/cfg");
    QDir::setCurrent(dir);
    auto app = std::make_unique<CCommunicationApp>();
    StartOptions options;
    options.showSplash = false;
    options.startupWait = false;
    if (!app->InitInstance(options)) return nullptr;
    return app;
}

std::string ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = f.readAll();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

QString OpenSource(CCommunicationApp& app, const QString& dir, const std::string& text) {
    const QString path = dir + "/source.txt";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
    f.write(text.data(), static_cast<qint64>(text.size()));
    f.close();
    return app.Doc()->OpenDocument(path) ? path : QString();
}
