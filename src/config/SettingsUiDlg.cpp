#include <QMessageBox>

#include "config/SettingsUi.h"

namespace {
SettingsMessageFn& Handler() {
    static SettingsMessageFn handler;
    return handler;
}
}  // namespace

void SetSettingsMessageHandler(SettingsMessageFn handler) {
    Handler() = std::move(handler);
}

void SettingsMessage(QWidget* parent, const QString& text) {
    if (Handler()) {
        Handler()(parent, text);
        return;
    }
    QMessageBox::warning(parent, QString::fromUtf8(kAppTitle), text, QMessageBox::Ok);
}
