// The one edit view: a plain-text editor whose text is the program's bytes
// (code page 936), shown through the lossless view codec.
#pragma once

#include <QPlainTextEdit>
#include <memory>
#include <string>
#include <string_view>

class QPrinter;

class CCommunicationView : public QPlainTextEdit {
    Q_OBJECT
public:
    // Most characters the user can type or paste in.
    static constexpr int kMaxTypedChars = 0xFFFFF;

    explicit CCommunicationView(QWidget* parent = nullptr);
    ~CCommunicationView() override;

    std::string GetBytes() const;
    // Replaces the whole text; the document's modified flag is left as it was.
    void SetBytes(std::string_view bytes);
    // Replaces the text but keeps the caret and the scroll position where
    // they were (as far as the new text reaches).
    void ReplaceBytesInPlace(std::string_view bytes);
    // Progress display: replaces the text and puts the caret at its end.
    void ShowBytesAtEnd(std::string_view bytes);
    // Inert while a transfer shows its text.
    void SetLocked(bool locked);

    int CharacterCount() const;

    void OnFilePrint();
    void OnFilePrintPreview();
    void OnFilePrintSetup();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    int Room() const;
    QPrinter& Printer();

    std::unique_ptr<QPrinter> m_printer;
    // The bytes last placed by SetBytes, while the document still holds exactly them.
    std::string m_shown;
    bool m_shownValid = false;
};
