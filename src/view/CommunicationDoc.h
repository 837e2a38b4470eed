// The document binds the one view to a file: new, open, save, save as, the
// save prompt and the recent-file list. It holds no text of its own.
#pragma once

#include <QObject>
#include <QString>
#include <string_view>

#include "base/Bounds.h"
#include "view/RecentFileList.h"

class CCommunicationView;
class QWidget;

class CCommunicationDoc : public QObject {
    Q_OBJECT
public:
    // Largest file that opens: the bound of every text the program holds.
    static constexpr qint64 kMaxFileBytes = kMaxTextBytes;

    CCommunicationDoc(CCommunicationView& view, QWidget* dialogParent);

    QString Title() const;  // the file name, or "无标题"
    const QString& PathName() const { return m_path; }
    bool IsModified() const;
    void SetModified(bool modified);
    CRecentFileList& RecentFiles() { return m_recent; }

    // Asks to save a modified document; false: the user cancelled (or the
    // save failed), the caller stops.
    bool SaveModified();
    // The new-document step: empty text, untitled, not modified.
    bool OnNewDocument();

    // The commands.
    bool OnFileNew();
    bool OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    bool OnOpenRecentFile(int index);

    // Loads a file as the document; on failure reports it and keeps the text.
    bool OpenDocument(const QString& path);
    bool SaveDocument(const QString& path);

    // The text was replaced by data of another kind (a conversion, a transfer,
    // the probe): the document no longer stands for its file, so Save asks for
    // a name and New, Open and Exit offer to save.
    void DetachFromFile();
    // Places other data in the view; when it differs, the document is
    // detached as above. True: the text changed.
    bool ReplaceWithNewData(std::string_view bytes);
    // Places an edited form of the same data (list editing, prism
    // correction): the file name stays, the document is marked modified.
    bool ReplaceWithEditedData(std::string_view bytes);

    // A command begins: the first text it replaces becomes one undo step.
    void BeginCommand() { m_undoKept = false; }
    // Keeps the view's text for Undo, once per command.
    void KeepForUndo();

signals:
    // The title or path changed: the frame refreshes its caption.
    void TitleChanged();
    void RecentFilesChanged();

private:
    void Report(const char* text, const QString& path = QString());
    void ReportWriteError(int error, const QString& path);

    CCommunicationView& m_view;
    QWidget* m_dialogParent;
    QString m_path;
    CRecentFileList m_recent;
    bool m_undoKept = false;
};
