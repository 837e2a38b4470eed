// The one place where the program asks the user something: message boxes and
// file dialogs. Tests install hooks that answer instead of a person.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

enum class EAnswer { Ok, Yes, No, Cancel };
// OkCancel: the transfers' hand-shake (取消 gives up); YesNo: a question that
// has no third way (closing the box answers No).
enum class EButtons { Ok, YesNoCancel, OkCancel, YesNo };

// Modal box captioned with the application title, exclamation icon.
EAnswer ShowMessageBox(QWidget* parent, const QString& text, EButtons buttons = EButtons::Ok);

// Open and save dialogs with the program's titles and filter; empty: cancelled.
QString AskOpenFileName(QWidget* parent);
QString AskSaveFileName(QWidget* parent, const QString& suggestedName);
// A save dialog for a file of another kind than the document: its title and
// name filters ("CSV (*.csv)"); `chosenFilter` gets the index of the filter
// the user picked. Tests answer it through the file dialog hook (save true).
QString AskExportFileName(QWidget* parent, const QString& title, const QString& suggestedName,
                          const QStringList& filters, int* chosenFilter = nullptr);

// Test hooks; an empty function restores the real dialogs.
using MessageHook = std::function<EAnswer(const QString& text, EButtons buttons)>;
using FileDialogHook = std::function<QString(bool save, const QString& suggestedName)>;
void SetMessageHook(MessageHook hook);
void SetFileDialogHook(FileDialogHook hook);
