#include "view/CommunicationView.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QKeyEvent>
#include <QPrinter>
#include <QResizeEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/ControlBytes.h"
#include "convert/ViewCodec.h"
#include "ui/EditUi.h"
#include "view/TextWidths.h"
#include "view/ViewAccessible.h"

namespace {
constexpr size_t kLargeInsert = 256 * 1024;
// A line longer than this (bytes of UTF-8) is measured a character at a time.
constexpr size_t kLongLine = 1024;

std::string EscapeUtf8(unsigned byte) {
    return DecodeViewUtf8(std::string(1, static_cast<char>(byte)));
}

// Whether some line of `utf8` (the first one continuing a line already
// `run` bytes long) is longer than kLongLine.
bool HasLongLine(std::string_view utf8, size_t run) {
    const char* p = utf8.data();
    const char* const end = p + utf8.size();
    while (p < end) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* const stop = lf ? lf : end;
        if (run + size_t(stop - p) > kLongLine) {
            // Only a lone CR can still split it.
            for (; p < stop; ++p) {
                run = *p == '\r' ? 0 : run + 1;
                if (run > kLongLine) return true;
            }
        }
        p = stop + 1;
        run = 0;
    }
    return false;
}

// False when no line can be longer than kLongLine bytes: each of its
// characters (at most 4 bytes) is estimated at least a plain one wide.
bool MayHaveLongLine(long long widest, const CCharWidths& widths) {
    return widest > static_cast<long long>(kLongLine / 4) * widths.ascii;
}

bool IsLead(char byte) {
    return IsGbkLeadByte(static_cast<unsigned char>(byte));
}
}  // namespace

CCommunicationView::CCommunicationView(QWidget* parent) : QsciScintilla(parent) {
    setObjectName("CommunicationView");
    // First, as the document holds some settings.
    UseDocument(false);
    setEolVisibility(false);
    // Long lines wrap at the window's edge; there is nothing to scroll sideways.
    setWrapMode(WrapWhitespace);
    SendScintilla(SCI_SETHSCROLLBAR, 0L);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    for (int margin = 0; margin < 5; ++margin) setMarginWidth(margin, 0);
    setFont(font());
    // Style 1 looks exactly like style 0: a text with a very long line has
    // the two alternate character by character (see StyleCharacters).
    CopyStyle(0, 1);
    // Room for the widths of every character of a Chinese text, in both styles.
    SendScintilla(SCI_SETPOSITIONCACHE, 16384L);
    setAutoIndent(false);
    SendScintilla(SCI_SETPASTECONVERTENDINGS, 1L);
    // A byte that is not code page 936 shows as a blob with its value, as
    // control bytes show with their names.
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const std::string key = EscapeUtf8(b);
        if (key.size() != 4) continue;  // the byte is a character of its own
        char blob[4];
        std::snprintf(blob, sizeof blob, "x%02X", b);
        SendScintilla(SCI_SETREPRESENTATION, key.c_str(), blob);
    }
    SendScintilla(SCI_SETREPRESENTATION, "\x7F", "DEL");
    ResetKeyMap();
    UsePlainAccessibleWhileUnused(this);
    connect(this, &QsciScintillaBase::SCN_MODIFIED, this,
            [this](int position, int type, const char* text, int length, int, int, int, int, int,
                   int) { OnModified(position, type, text, length); });
}

CCommunicationView::~CCommunicationView() = default;

void CCommunicationView::UseDocument(bool styled) {
    // Without style bytes unless a line is very long: nothing here is styled,
    // and style bytes would double what placing and keeping a large text costs.
    const long doc = SendScintilla(
        SCI_CREATEDOCUMENT, 0UL,
        static_cast<long>(styled ? SC_DOCUMENTOPTION_DEFAULT : SC_DOCUMENTOPTION_STYLES_NONE));
    if (!doc) return;
    const long readOnly = SendScintilla(SCI_GETREADONLY);
    const long undo = SendScintilla(SCI_GETUNDOCOLLECTION);
    SendScintilla(SCI_SETDOCPOINTER, 0UL, reinterpret_cast<void*>(doc));
    SendScintilla(SCI_RELEASEDOCUMENT, 0UL, reinterpret_cast<void*>(doc));
    m_styled = styled;
    // What the document holds of the editor's settings.
    SendScintilla(SCI_SETUNDOCOLLECTION, undo);
    SendScintilla(SCI_SETREADONLY, readOnly);
    setUtf8(true);
    setEolMode(EolWindows);  // a typed line break is CR LF
    setTabIndents(false);
    setBackspaceUnindents(false);
    setIndentationsUseTabs(true);
}

void CCommunicationView::CopyStyle(int from, int to) {
    const auto f = static_cast<unsigned long>(from), t = static_cast<unsigned long>(to);
    char face[256] = {};
    if (SendScintilla(SCI_STYLEGETFONT, f, face) < long(sizeof face))
        SendScintilla(SCI_STYLESETFONT, t, face);
    for (const auto& [get, set] :
         {std::pair{SCI_STYLEGETSIZEFRACTIONAL, SCI_STYLESETSIZEFRACTIONAL},
          {SCI_STYLEGETWEIGHT, SCI_STYLESETWEIGHT},
          {SCI_STYLEGETITALIC, SCI_STYLESETITALIC},
          {SCI_STYLEGETUNDERLINE, SCI_STYLESETUNDERLINE},
          {SCI_STYLEGETFORE, SCI_STYLESETFORE},
          {SCI_STYLEGETBACK, SCI_STYLESETBACK},
          {SCI_STYLEGETEOLFILLED, SCI_STYLESETEOLFILLED},
          {SCI_STYLEGETCHARACTERSET, SCI_STYLESETCHARACTERSET},
          {SCI_STYLEGETCASE, SCI_STYLESETCASE},
          {SCI_STYLEGETVISIBLE, SCI_STYLESETVISIBLE},
          {SCI_STYLEGETCHANGEABLE, SCI_STYLESETCHANGEABLE},
          {SCI_STYLEGETHOTSPOT, SCI_STYLESETHOTSPOT}})
        SendScintilla(static_cast<unsigned>(set), t, SendScintilla(static_cast<unsigned>(get), f));
}

void CCommunicationView::StyleCharacters(long from, long to) {
    // The editor measures a line's text in runs of one style, each run
    // through a text layout of its own: for a line of a megabyte that takes
    // most of a second. Runs of one character are looked up in the editor's
    // cache of widths instead. Style 1 looks like style 0 and wrapping breaks
    // at blanks only, so nothing shows of it.
    if (!m_styled || to <= from) return;
    const auto* text = reinterpret_cast<const unsigned char*>(
        SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), to - from));
    if (!text) return;
    // The start of the text, what a window shows first, stays in long runs:
    // measured in those it costs little, and drawing it takes a few calls
    // where a character each would take thousands.
    constexpr long kPlainStart = 16 * 1024;
    std::string styles(static_cast<size_t>(to - from), '\0');
    char style = 0;
    for (auto i = static_cast<size_t>(std::max(0L, kPlainStart - from)); i < styles.size(); ++i) {
        if ((text[i] & 0xC0) != 0x80) style ^= 1;  // a character's bytes share its style
        styles[i] = style;
    }
    SendScintilla(SCI_STARTSTYLING, static_cast<unsigned long>(from), 0L);
    SendScintilla(SCI_SETSTYLINGEX, static_cast<unsigned long>(styles.size()), styles.data());
}

void CCommunicationView::ResetKeyMap() {
    // Only what a plain multi-line edit control does with keys: moving,
    // selecting, deleting, line breaks, undo and the clipboard. Everything
    // else (Ctrl+T, Ctrl+L, Ctrl+D, Ctrl+U, ...) does nothing here.
    QsciCommandSet* commands = standardCommands();
    commands->clearKeys();
    commands->clearAlternateKeys();
    const int ctrl = Qt::CTRL, shift = Qt::SHIFT, alt = Qt::ALT;
    const struct {
        QsciCommand::Command command;
        int key, alternate;
    } map[] = {
        {QsciCommand::LineDown, Qt::Key_Down, 0},
        {QsciCommand::LineDownExtend, Qt::Key_Down | shift, 0},
        {QsciCommand::LineUp, Qt::Key_Up, 0},
        {QsciCommand::LineUpExtend, Qt::Key_Up | shift, 0},
        {QsciCommand::CharLeft, Qt::Key_Left, 0},
        {QsciCommand::CharLeftExtend, Qt::Key_Left | shift, 0},
        {QsciCommand::CharRight, Qt::Key_Right, 0},
        {QsciCommand::CharRightExtend, Qt::Key_Right | shift, 0},
        {QsciCommand::WordLeft, Qt::Key_Left | ctrl, 0},
        {QsciCommand::WordLeftExtend, Qt::Key_Left | ctrl | shift, 0},
        {QsciCommand::WordRight, Qt::Key_Right | ctrl, 0},
        {QsciCommand::WordRightExtend, Qt::Key_Right | ctrl | shift, 0},
        {QsciCommand::HomeDisplay, Qt::Key_Home, 0},
        {QsciCommand::HomeDisplayExtend, Qt::Key_Home | shift, 0},
        {QsciCommand::LineEndDisplay, Qt::Key_End, 0},
        {QsciCommand::LineEndDisplayExtend, Qt::Key_End | shift, 0},
        {QsciCommand::DocumentStart, Qt::Key_Home | ctrl, 0},
        {QsciCommand::DocumentStartExtend, Qt::Key_Home | ctrl | shift, 0},
        {QsciCommand::DocumentEnd, Qt::Key_End | ctrl, 0},
        {QsciCommand::DocumentEndExtend, Qt::Key_End | ctrl | shift, 0},
        {QsciCommand::PageUp, Qt::Key_PageUp, 0},
        {QsciCommand::PageUpExtend, Qt::Key_PageUp | shift, 0},
        {QsciCommand::PageDown, Qt::Key_PageDown, 0},
        {QsciCommand::PageDownExtend, Qt::Key_PageDown | shift, 0},
        {QsciCommand::Delete, Qt::Key_Delete, 0},
        {QsciCommand::DeleteBack, Qt::Key_Backspace, Qt::Key_Backspace | shift},
        {QsciCommand::Newline, Qt::Key_Return, Qt::Key_Enter},
        {QsciCommand::Undo, Qt::Key_Z | ctrl, Qt::Key_Backspace | alt},
        {QsciCommand::SelectionCut, Qt::Key_X | ctrl, Qt::Key_Delete | shift},
        {QsciCommand::SelectionCopy, Qt::Key_C | ctrl, Qt::Key_Insert | ctrl},
        {QsciCommand::Paste, Qt::Key_V | ctrl, Qt::Key_Insert | shift},
        {QsciCommand::SelectAll, Qt::Key_A | ctrl, 0},
    };
    for (const auto& entry : map) {
        if (QsciCommand* command = commands->find(entry.command)) {
            command->setKey(entry.key);
            if (entry.alternate) command->setAlternateKey(entry.alternate);
        }
    }
}

void CCommunicationView::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    const int key = event->key();
    // A control-key chord bound to nothing does nothing, and types nothing.
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) &&
        !standardCommands()->boundTo(key | mods.toInt())) {
        event->ignore();
        return;
    }
    // Undo also brings back a text that a command replaced.
    if ((key == Qt::Key_Z && mods == Qt::ControlModifier) ||
        (key == Qt::Key_Backspace && mods == Qt::AltModifier)) {
        if (!isReadOnly()) UndoStep();
        event->accept();
        return;
    }
    if (isReadOnly() || (mods & Qt::ControlModifier)) {
        QsciScintilla::keyPressEvent(event);
        return;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Tab) {
        // A line break is CR LF, a tab is a character (never an indent):
        // either fits whole or is refused.
        const std::string typed = FitInput(key == Qt::Key_Tab ? QString("\t") : QString("\n"));
        if (!typed.empty()) SendScintilla(SCI_REPLACESEL, typed.c_str());
        event->accept();
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint()) {
        const std::string typed = FitInput(text);
        if (QString::fromStdString(typed) != text) {
            if (!typed.empty()) SendScintilla(SCI_REPLACESEL, typed.c_str());
            event->accept();
            return;
        }
    }
    QsciScintilla::keyPressEvent(event);
}

std::string CCommunicationView::EditorUtf8() const {
    const long length = SendScintilla(SCI_GETLENGTH);
    const auto* text = static_cast<const char*>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return text ? std::string(text, static_cast<size_t>(length)) : std::string();
}

std::string CCommunicationView::GetBytes() const {
    if (m_shownValid) return m_shown;
    const long length = SendScintilla(SCI_GETLENGTH);
    const auto* text = static_cast<const char*>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
    return text ? EncodeViewUtf8(std::string_view(text, static_cast<size_t>(length)))
                : std::string();
}

qsizetype CCommunicationView::ByteCount() const {
    return m_bytes;
}

template <typename Fn>
void CCommunicationView::Place(bool large, Fn&& change) {
    const bool readOnly = SendScintilla(SCI_GETREADONLY) != 0;
    m_placing = true;
    if (readOnly) SendScintilla(SCI_SETREADONLY, 0L);
    SendScintilla(SCI_SETUNDOCOLLECTION, 0L);
    // Text inserted while wrapping is on is wrapped at once, line by line;
    // a large text is wrapped later, a screen at a time, while the user can
    // already work. Small pieces (a transfer's refresh) are cheaper wrapped
    // at once than by wrapping everything again. Lines that all fit the
    // window need no wrapping at all, which saves measuring every line.
    const long wrap = m_widest > TextWidth() ? SC_WRAP_WHITESPACE : SC_WRAP_NONE;
    if (large || wrap == SC_WRAP_NONE) SetWrap(SC_WRAP_NONE);
    // The editor's own listeners of changes count the characters before
    // every change, which costs a scan of the whole text per refresh; our
    // own placements need no notice.
    const long events = SendScintilla(SCI_GETMODEVENTMASK);
    SendScintilla(SCI_SETMODEVENTMASK, 0L);
    change();
    SendScintilla(SCI_SETMODEVENTMASK, events);
    if (wrap != SC_WRAP_NONE) SetWrap(wrap);
    // What was there before cannot be undone into the new text.
    SendScintilla(SCI_EMPTYUNDOBUFFER);
    SendScintilla(SCI_SETUNDOCOLLECTION, 1L);
    if (readOnly) SendScintilla(SCI_SETREADONLY, 1L);
    m_placing = false;
    emit BytesChanged();
}

void CCommunicationView::SetBytes(std::string_view bytes) {
    if (m_shownValid) {
        // Transfers and refreshes often place the text already shown, or that
        // text and more: only the difference is worth touching.
        if (bytes == m_shown) return;
        if (!m_shown.empty() && bytes.size() > m_shown.size() &&
            bytes.substr(0, m_shown.size()) == m_shown) {
            AppendBytes(bytes.substr(m_shown.size()));
            return;
        }
    }
    const std::string utf8 = DecodeViewUtf8(bytes);
    const CCharWidths widths(font());
    m_widest = LineWidths(utf8, widths, 0).first;
    const bool styled = MayHaveLongLine(m_widest, widths) && HasLongLine(utf8, 0);
    Place(utf8.size() > kLargeInsert, [&] {
        if (styled != m_styled)
            UseDocument(styled);
        else
            SendScintilla(SCI_CLEARALL);
        SendScintilla(SCI_APPENDTEXT, static_cast<uintptr_t>(utf8.size()), utf8.data());
        StyleCharacters(0, SendScintilla(SCI_GETLENGTH));
    });
    m_shown.assign(bytes);
    m_shownValid = true;
    m_bytes = static_cast<qsizetype>(bytes.size());
    m_openLead =
        !bytes.empty() && IsLead(bytes.back()) && utf8.size() >= 4 &&
        utf8.compare(utf8.size() - 4, 4, EscapeUtf8(static_cast<unsigned char>(bytes.back()))) == 0;
}

void CCommunicationView::AppendBytes(std::string_view more) {
    if (more.empty()) return;
    long replaceFrom = SendScintilla(SCI_GETLENGTH);
    std::string utf8;
    if (m_shownValid && m_openLead) {
        // The lone lead byte shown last may pair with the first new byte.
        std::string piece(1, m_shown.back());
        piece.append(more);
        utf8 = DecodeViewUtf8(piece);
        replaceFrom -= 4;
    } else {
        utf8 = DecodeViewUtf8(more);
    }
    const long end = SendScintilla(SCI_GETLENGTH);
    const CCharWidths widths(font());
    const long long widest = LineWidths(utf8, widths, LastLineWidth()).first;
    m_widest = std::max(m_widest, widest);
    const long lineStart =
        SendScintilla(SCI_POSITIONFROMLINE, SendScintilla(SCI_LINEFROMPOSITION, replaceFrom));
    const bool longLine = MayHaveLongLine(widest, widths) &&
                          HasLongLine(utf8, static_cast<size_t>(replaceFrom - lineStart));
    Place(utf8.size() > kLargeInsert, [&] {
        if (replaceFrom < end) SendScintilla(SCI_DELETERANGE, replaceFrom, end - replaceFrom);
        SendScintilla(SCI_APPENDTEXT, static_cast<uintptr_t>(utf8.size()), utf8.data());
        if (!longLine || m_styled) {
            StyleCharacters(replaceFrom, SendScintilla(SCI_GETLENGTH));
            return;
        }
        // The text now has a very long line: it moves into a document that
        // can be styled, keeping the caret, the selection and the scroll
        // (set once styled, as they have the line measured).
        const std::string all = EditorUtf8();
        const long anchor = SendScintilla(SCI_GETANCHOR);
        const long caret = SendScintilla(SCI_GETCURRENTPOS);
        const long firstLine = SendScintilla(SCI_GETFIRSTVISIBLELINE);
        UseDocument(true);
        SendScintilla(SCI_APPENDTEXT, static_cast<uintptr_t>(all.size()), all.data());
        StyleCharacters(0, SendScintilla(SCI_GETLENGTH));
        SendScintilla(SCI_SETSEL, anchor, caret);
        SendScintilla(SCI_SETFIRSTVISIBLELINE, firstLine);
    });
    m_bytes += static_cast<qsizetype>(more.size());
    if (!m_shownValid) return;
    m_shown.append(more);
    m_openLead = IsLead(m_shown.back()) && utf8.size() >= 4 &&
                 utf8.compare(utf8.size() - 4, 4,
                              EscapeUtf8(static_cast<unsigned char>(m_shown.back()))) == 0;
}

void CCommunicationView::RememberText() {
    // A few replaced texts are kept: at the open bound each is 4 MiB.
    constexpr size_t kKeptTexts = 8;
    if (m_replaced.size() == kKeptTexts) m_replaced.erase(m_replaced.begin());
    m_replaced.push_back(GetBytes());
}

void CCommunicationView::ForgetTexts() {
    m_replaced.clear();
}

bool CCommunicationView::CanUndoStep() const {
    return SendScintilla(SCI_CANUNDO) != 0 || !m_replaced.empty();
}

void CCommunicationView::UndoStep() {
    if (SendScintilla(SCI_CANUNDO)) {
        undo();
        return;
    }
    const std::string current = GetBytes();
    // A text that came back by itself (a failed upload) is no step to undo.
    while (!m_replaced.empty() && m_replaced.back() == current) m_replaced.pop_back();
    if (m_replaced.empty()) return;
    const std::string last = std::move(m_replaced.back());
    m_replaced.pop_back();
    SetBytes(last);
    // Brought back under the document's present name: a change like any other.
    SetModified(true);
}

void CCommunicationView::ReplaceBytesInPlace(std::string_view bytes) {
    if (m_shownValid && bytes.size() >= m_shown.size() &&
        bytes.substr(0, m_shown.size()) == m_shown) {
        SetBytes(bytes);  // the same or more at the end: caret and scroll stay by themselves
        return;
    }
    const int caret = CaretPosition();
    const long firstLine = SendScintilla(SCI_GETFIRSTVISIBLELINE);
    SetBytes(bytes);
    SetCaretPosition(std::min(caret, CharacterCount()));
    SendScintilla(SCI_SETFIRSTVISIBLELINE, firstLine);
}

void CCommunicationView::ShowBytesAtEnd(std::string_view bytes) {
    SetBytes(bytes);
    CaretToEnd();
}

void CCommunicationView::AppendBytesAtEnd(std::string_view more) {
    AppendBytes(more);
    CaretToEnd();
}

void CCommunicationView::CaretToEnd() {
    const long end = SendScintilla(SCI_GETLENGTH);
    if (!m_locked) {
        SendScintilla(SCI_GOTOPOS, end);
        return;
    }
    // The hidden caret goes along with the text now: moved later, on unlock,
    // it would have the editor repaint everything between its two places.
    SendScintilla(SCI_SETEMPTYSELECTION, end);
    SendScintilla(SCI_SCROLLTOEND);
}

void CCommunicationView::SetLocked(bool locked) {
    // Read-only, not disabled: the user can still scroll through what arrives.
    m_locked = locked;
    setReadOnly(locked);
    // The caret shows only while the editor believes it has the focus. A
    // change of the caret's style would do too, but makes the editor measure
    // every visible line again at the next paint.
    SendScintilla(SCI_SETFOCUS, static_cast<unsigned long>(!locked && hasFocus()));
}

void CCommunicationView::focusInEvent(QFocusEvent* event) {
    QsciScintilla::focusInEvent(event);
    if (m_locked) SendScintilla(SCI_SETFOCUS, 0UL);
}

void CCommunicationView::SetModified(bool modified) {
    m_modified = modified;
}

int CCommunicationView::CharacterCount() const {
    return static_cast<int>(SendScintilla(SCI_COUNTCHARACTERS, 0UL, SendScintilla(SCI_GETLENGTH)));
}

int CCommunicationView::CaretPosition() const {
    return static_cast<int>(
        SendScintilla(SCI_COUNTCHARACTERS, 0UL, SendScintilla(SCI_GETCURRENTPOS)));
}

void CCommunicationView::SetCaretPosition(int characters) {
    long position = SendScintilla(SCI_GETLENGTH);
    if (characters < CharacterCount())
        position = SendScintilla(SCI_POSITIONRELATIVE, 0UL, static_cast<long>(characters));
    SendScintilla(SCI_GOTOPOS, position);
}

void CCommunicationView::OnModified(int position, int type, const char* text, int length) {
    if (!(type & (SC_MOD_INSERTTEXT | SC_MOD_DELETETEXT)) || m_placing || length <= 0) return;
    m_modified = true;
    m_shownValid = false;
    m_openLead = false;
    emit BytesChanged();
    if (!text) {
        m_bytes = static_cast<qsizetype>(EncodeViewUtf8(EditorUtf8()).size());
        return;
    }
    const auto bytes = static_cast<qsizetype>(
        EncodeViewUtf8(std::string_view(text, static_cast<size_t>(length))).size());
    m_bytes += (type & SC_MOD_INSERTTEXT) ? bytes : -bytes;
    if ((type & SC_MOD_INSERTTEXT) && !m_wrapCheckPosted) {
        // The lines typed into may now be too wide; look once the change is done.
        m_wrapCheckPosted = true;
        QTimer::singleShot(0, this, [this] {
            m_wrapCheckPosted = false;
            m_widest = std::max(m_widest, WidestEditedLine());
            UpdateWrap();
        });
        m_editedFrom = std::min(m_editedFrom, static_cast<long>(position));
        m_editedTo = std::max(m_editedTo, static_cast<long>(position + length));
    }
}

int CCommunicationView::TextWidth() const {
    return std::max(1, viewport()->width() - 8);
}

long long CCommunicationView::LastLineWidth() const {
    const long end = SendScintilla(SCI_GETLENGTH);
    const long start =
        SendScintilla(SCI_POSITIONFROMLINE, SendScintilla(SCI_LINEFROMPOSITION, end));
    return RangeWidth(start, end);
}

long long CCommunicationView::RangeWidth(long from, long to) const {
    if (to <= from) return 0;
    const auto* text = reinterpret_cast<const char*>(
        SendScintilla(SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), to - from));
    if (!text) return 0;
    return LineWidths(std::string_view(text, static_cast<size_t>(to - from)), CCharWidths(font()),
                      0)
        .first;
}

long long CCommunicationView::WidestEditedLine() {
    const long length = SendScintilla(SCI_GETLENGTH);
    const long from = std::min(m_editedFrom, length), to = std::min(m_editedTo, length);
    m_editedFrom = LONG_MAX;
    m_editedTo = 0;
    if (from > to) return 0;
    const long start =
        SendScintilla(SCI_POSITIONFROMLINE, SendScintilla(SCI_LINEFROMPOSITION, from));
    const long end = SendScintilla(SCI_GETLINEENDPOSITION, SendScintilla(SCI_LINEFROMPOSITION, to));
    return RangeWidth(start, end);
}

void CCommunicationView::UpdateWrap() {
    // At blanks only: a change of style (see StyleCharacters) is no place to break.
    SetWrap(m_widest > TextWidth() ? SC_WRAP_WHITESPACE : SC_WRAP_NONE);
}

void CCommunicationView::SetWrap(long mode) {
    if (SendScintilla(SCI_GETWRAPMODE) == mode) return;
    // Wrapping keeps every line's layout, as the editor's own setting does.
    // Without it one kept layout is enough, and a paint after a large
    // change measures its lines without allocating a layout for each.
    SendScintilla(SCI_SETLAYOUTCACHE, mode == SC_WRAP_NONE ? SC_CACHE_CARET : SC_CACHE_DOCUMENT);
    SendScintilla(SCI_SETWRAPMODE, mode);
    // The editor makes its scroll bar appear only when needed after a change
    // of wrapping: one coming and going changes the text's width and costs a
    // second layout and paint.
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void CCommunicationView::resizeEvent(QResizeEvent* event) {
    QsciScintilla::resizeEvent(event);
    UpdateWrap();
}
