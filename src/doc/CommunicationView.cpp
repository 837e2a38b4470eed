#include "doc/CommunicationView.h"

#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTextBlock>

#include "convert/ViewCodec.h"

CCommunicationView::CCommunicationView(QWidget* parent) : QPlainTextEdit(parent) {
    // Long lines wrap at the window's edge; there is nothing to scroll sideways.
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setTabChangesFocus(false);
    setObjectName("CommunicationView");
    // Any change to the document, the user's or ours, makes the remembered bytes stale.
    connect(document(), &QTextDocument::contentsChange, this, [this] { m_shownValid = false; });
}

CCommunicationView::~CCommunicationView() = default;

std::string CCommunicationView::GetBytes() const {
    if (m_shownValid) return m_shown;
    return EncodeViewDisplay(toPlainText());
}

void CCommunicationView::SetBytes(std::string_view bytes) {
    // Transfers and refreshes often place the text that is already shown;
    // laying out a large text again costs far more than comparing it.
    if (m_shownValid && bytes == m_shown) return;
    const bool modified = document()->isModified();
    setPlainText(DecodeViewDisplay(bytes));
    document()->setModified(modified);
    m_shown.assign(bytes);
    m_shownValid = true;
}

void CCommunicationView::ReplaceBytesInPlace(std::string_view bytes) {
    const int caret = textCursor().position();
    const int scroll = verticalScrollBar()->value();
    SetBytes(bytes);
    QTextCursor cursor = textCursor();
    cursor.setPosition(std::min(caret, CharacterCount()));
    setTextCursor(cursor);
    verticalScrollBar()->setValue(std::min(scroll, verticalScrollBar()->maximum()));
}

void CCommunicationView::ShowBytesAtEnd(std::string_view bytes) {
    SetBytes(bytes);
    moveCursor(QTextCursor::End);
    ensureCursorVisible();
}

void CCommunicationView::SetLocked(bool locked) {
    setEnabled(!locked);
    setReadOnly(locked);
    repaint();
}

int CCommunicationView::CharacterCount() const {
    return document()->characterCount() - 1;
}

int CCommunicationView::Room() const {
    return kMaxTypedChars - CharacterCount() + static_cast<int>(textCursor().selectedText().size());
}

void CCommunicationView::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    const bool inserts =
        !isReadOnly() && !text.isEmpty() && (text.at(0).isPrint() || text == "\r" || text == "\t");
    if (inserts && Room() < text.size()) {
        event->accept();  // full: like the edit control, refuse the keystroke
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void CCommunicationView::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText() || isReadOnly()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QString text = source->text();
    text.replace("\r\n", "\n");
    text.replace('\r', '\n');
    const int room = std::max(0, Room());
    if (text.size() > room) text.truncate(room);
    if (!text.isEmpty()) insertPlainText(text);
}

void CCommunicationView::inputMethodEvent(QInputMethodEvent* event) {
    // Chinese is mostly typed through an input method: its committed text
    // counts against the limit like keys do.
    const QString commit = event->commitString();
    const int room = std::max(0, Room());
    if (!isReadOnly() && commit.size() > room) {
        QInputMethodEvent trimmed(event->preeditString(), event->attributes());
        trimmed.setCommitString(commit.left(room), event->replacementStart(),
                                event->replacementLength());
        QPlainTextEdit::inputMethodEvent(&trimmed);
        return;
    }
    QPlainTextEdit::inputMethodEvent(event);
}

QPrinter& CCommunicationView::Printer() {
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

void CCommunicationView::OnFilePrint() {
    QPrintDialog dialog(&Printer(), this);
    if (dialog.exec() == QDialog::Accepted) document()->print(&Printer());
}

void CCommunicationView::OnFilePrintPreview() {
    QPrintPreviewDialog preview(&Printer(), this);
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* printer) { document()->print(printer); });
    preview.setWindowState(preview.windowState() | Qt::WindowMaximized);
    preview.exec();
}

void CCommunicationView::OnFilePrintSetup() {
    QPageSetupDialog dialog(&Printer(), this);
    dialog.exec();
}
