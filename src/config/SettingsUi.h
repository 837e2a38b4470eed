// The settings dialogs' one seam for message boxes: by default a modal box
// with the exclamation icon, OK and the application title; tests install a
// recorder so that nothing waits for a click.
#pragma once

#include <QString>
#include <functional>

class QWidget;

inline constexpr char kAppTitle[] = "恒钧全站仪传输软件";

using SettingsMessageFn = std::function<void(QWidget* parent, const QString& text)>;
// An empty function restores the message box.
void SetSettingsMessageHandler(SettingsMessageFn handler);
void SettingsMessage(QWidget* parent, const QString& text);
