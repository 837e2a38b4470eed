#include "config/SettingsUi.h"
#include "doc/MessageSeam.h"

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
    ShowMessageBox(parent, text);
}
