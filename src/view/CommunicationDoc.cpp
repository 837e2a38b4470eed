#include "view/CommunicationDoc.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <string>

#include "base/SafeFile.h"
#include "ui/MessageSeam.h"
#include "view/CommunicationView.h"
#include "view/DocStrings.h"

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
    m_view.ForgetTexts();
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
    // A FIFO or a device would hold the window until someone writes to it.
    if (!info.isFile()) {
        Report(doctext::kOpenFailed);
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
    m_view.ForgetTexts();
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
    // A FIFO or a device is no document: writing to one could hold the window
    // until someone reads it.
    struct stat st {};
    const QByteArray native = QFile::encodeName(path);
    if (::lstat(native.constData(), &st) != 0) st.st_mode = 0;  // a new file
    if (st.st_mode != 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        Report(doctext::kInvalidFileName);
        return false;
    }
    // A write-protected file stays protected, although renaming over it would work.
    if (S_ISREG(st.st_mode) && ::access(native.constData(), W_OK) != 0) {
        ReportWriteError(errno, path);
        return false;
    }
    const std::string bytes = m_view.GetBytes();
    // Written beside the target and renamed over it: a failed save never
    // leaves a half-written file where the old one was, and a link is never
    // written through.
    const int error = ReplaceFile(native.toStdString(), bytes);
    if (error != 0) {
        ReportWriteError(error, path);
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

void CCommunicationDoc::ReportWriteError(int error, const QString& path) {
    const char* text = doctext::kWriteUnexpected;
    switch (error) {
        case ENOSPC:
        case EDQUOT:
        case EFBIG:  // the file-size limit: as full as the disk gets for us
            Report(doctext::kDiskFull);
            return;
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:
        case kFileIsSymlink:
            text = doctext::kWriteReadOnly;
            break;
        default:
            break;
    }
    // The system's reason on a line of its own, so the user can act on it.
    QString message = QString::fromUtf8(text).arg(QDir::toNativeSeparators(path));
    message += '\n' + QString::fromLocal8Bit(FileErrorText(error));
    ShowMessageBox(m_dialogParent, message);
}

void CCommunicationDoc::DetachFromFile() {
    const bool titled = !m_path.isEmpty();
    m_path.clear();
    SetModified(true);
    if (titled) emit TitleChanged();
}

void CCommunicationDoc::KeepForUndo() {
    if (m_undoKept) return;
    m_undoKept = true;
    m_view.RememberText();
}

bool CCommunicationDoc::ReplaceWithNewData(std::string_view bytes) {
    if (bytes == m_view.GetBytes()) return false;
    KeepForUndo();
    m_view.SetBytes(bytes);
    DetachFromFile();
    // An empty untitled view (the probe leaves one) holds nothing to save.
    if (bytes.empty()) SetModified(false);
    return true;
}

bool CCommunicationDoc::ReplaceWithEditedData(std::string_view bytes) {
    if (bytes == m_view.GetBytes()) return false;
    KeepForUndo();
    m_view.SetBytes(bytes);
    SetModified(true);
    return true;
}
