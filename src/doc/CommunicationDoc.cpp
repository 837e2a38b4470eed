#include "doc/CommunicationDoc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <string>

#include "doc/CommunicationView.h"
#include "doc/DocStrings.h"
#include "doc/MessageSeam.h"

CCommunicationDoc::CCommunicationDoc(CCommunicationView& view, QWidget* dialogParent)
    : m_view(view), m_dialogParent(dialogParent), m_recent(QString::fromUtf8(doctext::kAppTitle)) {}

QString CCommunicationDoc::Title() const {
    return m_path.isEmpty() ? QString::fromUtf8(doctext::kUntitled) : QFileInfo(m_path).fileName();
}

bool CCommunicationDoc::IsModified() const {
    return m_view.IsModified();
}

void CCommunicationDoc::SetModified(bool modified) {
    m_view.SetModified(modified);
}

void CCommunicationDoc::Report(const char* text, const QString& path) {
    QString message = QString::fromUtf8(text);
    if (message.contains("%1")) message = message.arg(QDir::toNativeSeparators(path));
    ShowMessageBox(m_dialogParent, message);
}

bool CCommunicationDoc::SaveModified() {
    if (!IsModified()) return true;
    const QString prompt = QString::fromUtf8(doctext::kSavePrompt).arg(Title());
    switch (ShowMessageBox(m_dialogParent, prompt, EButtons::YesNoCancel)) {
        case EAnswer::Yes:
            return OnFileSave();
        case EAnswer::No:
            return true;
        default:
            return false;
    }
}

bool CCommunicationDoc::OnNewDocument() {
    m_view.SetBytes({});
    m_path.clear();
    SetModified(false);
    emit TitleChanged();
    return true;
}

bool CCommunicationDoc::OnFileNew() {
    return SaveModified() && OnNewDocument();
}

bool CCommunicationDoc::OnFileOpen() {
    if (!SaveModified()) return false;
    const QString path = AskOpenFileName(m_dialogParent);
    if (path.isEmpty()) return false;
    return OpenDocument(path);
}

bool CCommunicationDoc::OnOpenRecentFile(int index) {
    if (index < 0 || index >= m_recent.Files().size()) return false;
    if (!SaveModified()) return false;
    const QString path = m_recent.Files().at(index);
    if (OpenDocument(path)) return true;
    // A file that no longer opens leaves the list.
    m_recent.Remove(m_recent.Files().indexOf(path));
    emit RecentFilesChanged();
    return false;
}

bool CCommunicationDoc::OpenDocument(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || info.isDir()) {
        Report(doctext::kInvalidFileName);
        return false;
    }
    if (!info.exists()) {
        Report(doctext::kFileNotFound);
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (file.error() == QFileDevice::PermissionsError)
            Report(doctext::kReadShared, path);
        else
            Report(doctext::kOpenFailed);
        return false;
    }
    // Read one byte past the limit, so a file that grows meanwhile or reports
    // no size (a pipe) is still measured by what it holds.
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        Report(doctext::kReadUnexpected, path);
        return false;
    }
    if (bytes.size() > kMaxFileBytes) {
        Report(doctext::kFileTooLarge);
        return false;
    }
    m_view.SetBytes(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
    m_path = info.absoluteFilePath();
    SetModified(false);
    m_recent.Add(m_path);
    emit TitleChanged();
    emit RecentFilesChanged();
    return true;
}

bool CCommunicationDoc::OnFileSave() {
    if (m_path.isEmpty()) return OnFileSaveAs();
    return SaveDocument(m_path);
}

bool CCommunicationDoc::OnFileSaveAs() {
    const QString path = AskSaveFileName(m_dialogParent, Title());
    if (path.isEmpty()) return false;
    return SaveDocument(path);
}

bool CCommunicationDoc::SaveDocument(const QString& path) {
    if (path.isEmpty() || QFileInfo(path).isDir()) {
        Report(doctext::kInvalidFileName);
        return false;
    }
    const std::string bytes = m_view.GetBytes();
    // Written beside the target and renamed over it: a failed save never
    // leaves a half-written file where the old one was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (file.error() == QFileDevice::OpenError ||
            file.error() == QFileDevice::PermissionsError ||
            file.error() == QFileDevice::WriteError)
            Report(doctext::kWriteReadOnly, path);
        else
            Report(doctext::kSaveFailed);
        return false;
    }
    errno = 0;
    const qint64 written = file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    const bool full = errno == ENOSPC;
    if (written != static_cast<qint64>(bytes.size()) || !file.commit()) {
        if (full || errno == ENOSPC || file.error() == QFileDevice::ResourceError)
            Report(doctext::kDiskFull);
        else
            Report(doctext::kWriteUnexpected, path);
        return false;
    }
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const bool renamed = absolute != m_path;
    m_path = absolute;
    SetModified(false);
    m_recent.Add(m_path);
    if (renamed) emit TitleChanged();
    emit RecentFilesChanged();
    return true;
}
