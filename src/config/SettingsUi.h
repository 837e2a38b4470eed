// The settings dialogs' messages: by default the program's message box
// (doc/MessageSeam.h); tests of the dialogs alone install a recorder here.
#pragma once

#include <QString>
#include <functional>

class QWidget;

using SettingsMessageFn = std::function<void(QWidget* parent, const QString& text)>;
// An empty function restores the message box.
void SetSettingsMessageHandler(SettingsMessageFn handler);
void SettingsMessage(QWidget* parent, const QString& text);
