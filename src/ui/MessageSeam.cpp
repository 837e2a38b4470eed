#include "ui/MessageSeam.h"

#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QMessageBox>
#include <algorithm>
#include <mutex>

#include "view/DocStrings.h"

namespace {
MessageHook g_messageHook;
FileDialogHook g_fileDialogHook;

QString RunFileDialog(QWidget* parent, bool save, const QString& suggestedName) {
    QFileDialog dialog(parent, QString::fromUtf8(save ? doctext::kSaveTitle : doctext::kOpenTitle));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromUtf8(doctext::kAllFilesFilter));
    // "*.*" means every file to our users; on Linux many names have no dot.
    if (auto* model = dialog.findChild<QFileSystemModel*>()) model->setNameFilters({});
    dialog.setDefaultSuffix(QString());
    if (save) dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
}  // namespace

EAnswer ShowMessageBox(QWidget* parent, const QString& text, EButtons buttons) {
    if (g_messageHook) return g_messageHook(text, buttons);
    QMessageBox::StandardButtons shown = QMessageBox::Ok;
    if (buttons == EButtons::YesNoCancel)
        shown = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    else if (buttons == EButtons::OkCancel)
        shown = QMessageBox::Ok | QMessageBox::Cancel;
    else if (buttons == EButtons::YesNo)
        shown = QMessageBox::Yes | QMessageBox::No;
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(doctext::kAppTitle), text, shown,
                    parent);
    const int pressed = box.exec();
    if (pressed == QMessageBox::Yes) return EAnswer::Yes;
    if (pressed == QMessageBox::No || buttons == EButtons::YesNo) return EAnswer::No;
    // Closing a box that has only OK is answering OK.
    if (pressed == QMessageBox::Ok || buttons == EButtons::Ok) return EAnswer::Ok;
    return EAnswer::Cancel;
}

QString AskOpenFileName(QWidget* parent) {
    if (g_fileDialogHook) return g_fileDialogHook(false, QString());
    return RunFileDialog(parent, false, QString());
}

QString AskSaveFileName(QWidget* parent, const QString& suggestedName) {
    if (g_fileDialogHook) return g_fileDialogHook(true, suggestedName);
    return RunFileDialog(parent, true, suggestedName);
}

QString AskExportFileName(QWidget* parent, const QString& title, const QString& suggestedName,
                          const QStringList& filters, int* chosenFilter) {
    if (chosenFilter) *chosenFilter = 0;
    if (g_fileDialogHook) return g_fileDialogHook(true, suggestedName);
    QFileDialog dialog(parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    // A name typed without its extension gets the format's ("*.kml" -> kml).
    const QString first = filters.value(0);
    const qsizetype star = first.indexOf("*.");
    if (star >= 0)
        dialog.setDefaultSuffix(first.mid(star + 2).section(')', 0, 0).section(' ', 0, 0));
    dialog.selectFile(suggestedName);
    if (dialog.exec() != QDialog::Accepted) return QString();
    if (chosenFilter)
        *chosenFilter = std::max(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

void SetMessageHook(MessageHook hook) {
    g_messageHook = std::move(hook);
}
void SetFileDialogHook(FileDialogHook hook) {
    g_fileDialogHook = std::move(hook);
}
