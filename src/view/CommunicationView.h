// The one edit view: an editor made for large texts (QScintilla) whose text is
// the program's bytes (code page 936), held as UTF-8 through the view codec.
#pragma once

#include <Qsci/qsciscintilla.h>

#include <climits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Bounds.h"

class QPrinter;

class CCommunicationView : public QsciScintilla {
    Q_OBJECT
public:
    // Most bytes (as saved: code page 936, CR LF) the user can type or paste in:
    // what the window opens, so whatever is saved opens again.
    static constexpr qsizetype kMaxTypedBytes = kMaxTextBytes;

    explicit CCommunicationView(QWidget* parent = nullptr);
    ~CCommunicationView() override;

    std::string GetBytes() const;
    // Replaces the whole text; the document's modified flag is left as it was.
    void SetBytes(std::string_view bytes);
    // Replaces the text but keeps the caret and the scroll position where
    // they were (as far as the new text reaches).
    void ReplaceBytesInPlace(std::string_view bytes);
    // Progress display: shows the text and puts the caret at its end. A text
    // that extends the one shown is appended, so a growing text costs only
    // what is new.
    void ShowBytesAtEnd(std::string_view bytes);
    // Adds bytes at the end, as if the whole text had been set; the caret and
    // the modified flag stay.
    void AppendBytes(std::string_view more);
    // Progress display of what arrived since: appended, the caret at the end.
    void AppendBytesAtEnd(std::string_view more);
    // Before a command replaces the text: keeps it so Undo can bring it back.
    void RememberText();
    // Forgets the kept texts (another document was opened or started).
    void ForgetTexts();
    // Undoes the last typing, or else brings back the last text a command replaced.
    void UndoStep();
    bool CanUndoStep() const;

    // Read-only while a transfer shows its text; still scrolls.
    void SetLocked(bool locked);
    bool IsLocked() const { return m_locked; }

    // Changed by the user since the last save (text placed by the program is not).
    bool IsModified() const { return m_modified; }
    void SetModified(bool modified);

    // Bytes the text is saved as.
    qsizetype ByteCount() const;
    // Characters shown (each undecodable byte, lone CR and lone LF is one).
    int CharacterCount() const;
    // The caret, counted in characters.
    int CaretPosition() const;
    void SetCaretPosition(int characters);

    void OnFilePrint();
    void OnFilePrintPreview();
    void OnFilePrintSetup();

signals:
    // The text changed: placed by the program or edited by the user.
    void BytesChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    QByteArray fromMimeData(const QMimeData* source, bool& rectangular) const override;

private:
    void CaretToEnd();
    void ResetKeyMap();
    // A fresh, empty document; `styled`: with a style byte per character.
    void UseDocument(bool styled);
    void CopyStyle(int from, int to);
    void StyleCharacters(long from, long to);
    void OnModified(int position, int type, const char* text, int length);
    // Bytes the user may still add (a selection's bytes count as room).
    qsizetype Room() const;
    // The UTF-8 to insert for text the user gave: as much as fits.
    std::string FitInput(const QString& text) const;
    // Runs a change of our own: no undo record, no modified flag, no limit.
    template <typename Fn>
    void Place(bool large, Fn&& change);
    std::string EditorUtf8() const;
    // Wrapping: on only while some line may be wider than the window.
    int TextWidth() const;
    long long LastLineWidth() const;
    long long RangeWidth(long from, long to) const;
    long long WidestEditedLine();
    void UpdateWrap();
    void SetWrap(long mode);
    QPrinter& Printer();

    std::unique_ptr<QPrinter> m_printer;
    // Texts replaced by commands, newest last.
    std::vector<std::string> m_replaced;
    // The bytes last placed, while the editor still holds exactly them.
    std::string m_shown;
    bool m_shownValid = true;
    // The last byte placed was a lead byte with nothing after it: shown alone
    // for now, it may pair with the next byte appended.
    bool m_openLead = false;
    qsizetype m_bytes = 0;  // ByteCount, kept up to date with every change
    bool m_placing = false;
    bool m_modified = false;
    bool m_locked = false;
    long long m_widest = 0;  // estimated pixels of the widest line, never less
    bool m_wrapCheckPosted = false;
    bool m_styled = false;  // the document has style bytes (some line is very long)
    long m_editedFrom = LONG_MAX, m_editedTo = 0;
};
