// The document and the edit view: files come back byte for byte, the size
// limits hold, and a changed document is never dropped without asking.
#include <sys/stat.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QSettings>
#include <QtTest>
#include <algorithm>
#include <functional>
#include <string>

#include "QtFiles_support.h"
#include "convert/ViewCodec.h"
#include "ui/MessageSeam.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"
#include "view/DocStrings.h"

namespace {
// What the editor itself holds (UTF-8), NUL bytes included.
std::string Editor(const CCommunicationView& view) {
    const long n = view.SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    const auto* p = static_cast<const char*>(
        view.SendScintillaPtrResult(QsciScintillaBase::SCI_GETCHARACTERPOINTER));
    return std::string(p, static_cast<size_t>(n));
}
void CaretToEnd(CCommunicationView& view) {
    view.SetCaretPosition(view.CharacterCount());
}
void Commit(CCommunicationView& view, const char* utf8) {
    QInputMethodEvent ime;
    ime.setCommitString(U(utf8));
    QCoreApplication::sendEvent(&view, &ime);
}
// n bytes of ordinary lines, ending in the middle of one.
std::string Filler(int n) {
    std::string text;
    while (text.size() < size_t(n)) text += std::string(78, 'x') + "\r\n";
    text.resize(size_t(n));
    text.back() = 'x';
    return text;
}
void Paste(CCommunicationView& view, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    view.paste();
}
}  // namespace

class CDocViewTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    QStringList m_messages;
    QList<EAnswer> m_answers;
    QStringList m_suggested;
    QString m_nextFile;

    QString Path(const QString& name) const { return m_dir.filePath(name); }

    struct CFixture {
        CCommunicationView view;
        CCommunicationDoc doc{view, nullptr};
        // On screen with the keys, narrower than a long line.
        void Show() {
            view.resize(300, 200);
            view.show();
            view.setFocus();
        }
    };

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("cfg"));
        SetMessageHook([this](const QString& text, EButtons) {
            m_messages << text;
            return m_answers.isEmpty() ? EAnswer::Ok : m_answers.takeFirst();
        });
        SetFileDialogHook([this](bool save, const QString& suggested) {
            if (save) m_suggested << suggested;
            return m_nextFile;
        });
    }
    void init() {
        m_messages.clear();
        m_answers.clear();
        m_suggested.clear();
        m_nextFile.clear();
    }

    void everyByteSurvivesOpenAndSave() {
        // The awkward cases at the very start and end of a file (every byte
        // pair is the codec's test).
        const std::string cases[] = {
            std::string("\n\r\r\n\n\n\r\r", 8),
            std::string("\0\x02\x03\x04"
                        "abc\0",
                        8),
            "\x81\x20\xFF\xD6\xD0\x80\xFE",  // invalid GBK, lone lead byte at the end
            "line1\nline2\rline3\r\n\xB5\xE3\n",
            std::string(3000, 'x') + "\r\n",  // one long line: wraps, saves as one line
        };
        CFixture f;
        f.Show();
        int n = 0;
        for (const std::string& bytes : cases) {
            const QString in = Path(QString("in%1").arg(n)), out = Path(QString("out%1").arg(n));
            ++n;
            WriteAll(in, bytes);
            QVERIFY(f.doc.OpenDocument(in));
            QVERIFY(!f.doc.IsModified());
            QVERIFY(f.doc.SaveDocument(out));
            QVERIFY2(ReadAll(out) == bytes, qPrintable(in));
            // The save may come from the bytes the view remembers; what the
            // widget itself holds must give the same bytes back.
            QVERIFY2(EncodeViewUtf8(Editor(f.view)) == bytes, qPrintable(in));
            QCOMPARE(f.view.ByteCount(), static_cast<qsizetype>(bytes.size()));
        }
        QVERIFY(m_messages.isEmpty());
        // Every undecodable byte is one character of its own (a blob), as is
        // each control byte, NUL, lone CR and lone LF.
        f.view.SetBytes(std::string("\x81\x20\xFF\0\r\n\n\r\x02", 9));
        QCOMPARE(f.view.CharacterCount(), 9);
        QCOMPARE(f.view.SendScintilla(QsciScintillaBase::SCI_GETHSCROLLBAR), 0L);
    }

    void longLinesWrapAtTheWindowEdge() {
        // Wrapping is switched on exactly when some line may not fit.
        CFixture f;
        f.Show();
        auto wraps = [&f] {
            QCoreApplication::processEvents();
            return f.view.SendScintilla(QsciScintillaBase::SCI_GETWRAPMODE) != 0;
        };
        f.view.SetBytes(std::string(3000, 'x') + "\r\nshort\r\n");
        QVERIFY(wraps());
        QVERIFY(f.view.SendScintilla(QsciScintillaBase::SCI_WRAPCOUNT, 0L) > 1);
        f.view.ShowBytesAtEnd("short\r\n");
        QVERIFY(!wraps());
        f.view.SetCaretPosition(2);
        QTest::keyClicks(&f.view, QString(200, 'y'));
        QVERIFY(wraps());
        f.view.resize(2000, 200);
        f.view.SetBytes(std::string(40, 'z') + "\r\n" + std::string(20, 'z'));
        QVERIFY(!wraps());
        f.view.resize(100, 200);  // a narrower window wraps what fitted before
        QVERIFY(wraps());
        QCOMPARE(f.view.GetBytes(), std::string(40, 'z') + "\r\n" + std::string(20, 'z'));
        // Control bytes show as wide blobs: a short line of them may not fit.
        f.view.resize(300, 200);
        f.view.SetBytes("abcdefgh" + std::string(8, '\x01') + "\r\nijkl");
        QVERIFY(wraps());
        f.view.SetBytes("abcdefgh" + std::string(8, 'x') + "\r\nijkl");
        QVERIFY(!wraps());

        // A list whose line ends were lost is one very long line, whether
        // opened whole or grown into by a transfer: it still wraps at blanks
        // only, and holds, counts, selects and takes typing as any text.
        std::string line;
        while (line.size() < 24000) line += "P1,\xB5\xE3\x81,1234.567,5678.901; ";
        auto breaksAtBlanksOnly = [&f] {
            const std::string held = Editor(f.view);
            auto y = [&f](long p) {
                return f.view.SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, p);
            };
            int breaks = 0;
            // Its start and a stretch far into it.
            for (long from : {0L, 20000L})
                for (long p = from + 1; p < from + 2000; ++p)
                    if (y(p) != y(p - 1)) {
                        ++breaks;
                        if (held[size_t(p - 1)] != ' ') return false;
                    }
            return breaks > 10;
        };
        f.view.SetBytes(line);
        QVERIFY(wraps());
        QVERIFY(breaksAtBlanksOnly());
        QCOMPARE(EncodeViewUtf8(Editor(f.view)), line);
        const int characters = f.view.CharacterCount();
        const std::string held = Editor(f.view);
        QCOMPARE(characters, std::count_if(held.begin(), held.end(),
                                           [](char c) { return (c & 0xC0) != 0x80; }));
        f.view.SetBytes("ab\r\ncd");
        f.view.SendScintilla(QsciScintillaBase::SCI_SETSEL, 1UL, 5L);
        f.view.AppendBytes(line);
        QCOMPARE(f.view.SendScintilla(QsciScintillaBase::SCI_GETANCHOR), 1L);
        QCOMPARE(f.view.SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS), 5L);
        QCOMPARE(f.view.CharacterCount(), characters + 6);
        QVERIFY(wraps());
        QCOMPARE(EncodeViewUtf8(Editor(f.view)), "ab\r\ncd" + line);
        f.view.SendScintilla(QsciScintillaBase::SCI_SETSEL, 0UL, 0L);
        QTest::keyClick(&f.view, Qt::Key_Return);
        QCOMPARE(f.view.GetBytes(), "\r\nab\r\ncd" + line);
        f.view.UndoStep();
        QCOMPARE(f.view.GetBytes(), "ab\r\ncd" + line);
    }

    void typedLinesEndInCrLfAndOtherLinesStay() {
        CFixture f;
        const std::string bytes = "a\nb\xB5\xE3\r\n";
        f.view.SetBytes(bytes);
        QVERIFY(!f.doc.IsModified());  // placing text is not a change by the user
        CaretToEnd(f.view);
        QTest::keyClicks(&f.view, "c");
        QTest::keyClick(&f.view, Qt::Key_Return);
        QTest::keyClicks(&f.view, "d");
        QVERIFY(f.doc.IsModified());
        QCOMPARE(f.view.GetBytes(), bytes + "c\r\nd");
        // Placing the earlier text again really replaces what was typed.
        f.view.SetBytes(bytes);
        QCOMPARE(Editor(f.view), DecodeViewUtf8(bytes));
        QCOMPARE(f.view.GetBytes(), bytes);
        f.view.undo();
        QCOMPARE(f.view.GetBytes(), bytes);  // nothing to undo into the placed text
        // Typed and undone: back to the placed bytes, and still counted right.
        CaretToEnd(f.view);
        QTest::keyClicks(&f.view, "xy");
        f.view.undo();
        QCOMPARE(f.view.GetBytes(), bytes);
        QCOMPARE(f.view.ByteCount(), static_cast<qsizetype>(bytes.size()));
    }

    void deadKeysDoNothing() {
        CFixture f;
        f.Show();
        const std::string bytes = "ab\r\ncd\r\nef";
        f.view.SetBytes(bytes);
        f.view.SetCaretPosition(5);
        for (Qt::Key key : {Qt::Key_T, Qt::Key_M, Qt::Key_Y, Qt::Key_Q, Qt::Key_L, Qt::Key_D,
                            Qt::Key_U, Qt::Key_J, Qt::Key_K, Qt::Key_W}) {
            QTest::keyClick(&f.view, key, Qt::ControlModifier);
            QTest::keyClick(&f.view, key, Qt::ControlModifier | Qt::ShiftModifier);
        }
        QTest::keyClick(&f.view, Qt::Key_Insert);  // no overtype
        QCOMPARE(f.view.GetBytes(), bytes);
        QCOMPARE(f.view.CaretPosition(), 5);
        QVERIFY(!f.doc.IsModified());
        QTest::keyClicks(&f.view, "Z");
        QTest::keyClick(&f.view, Qt::Key_Tab);
        QCOMPARE(QString::fromStdString(f.view.GetBytes()), QString("ab\r\ncZ\td\r\nef"));
        // The keys an edit control knows still work.
        QTest::keyClick(&f.view, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&f.view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QString("ab\r\ncZ\td\r\nef"));
        QTest::keyClick(&f.view, Qt::Key_Backspace);
        QCOMPARE(f.view.GetBytes(), std::string());
        QTest::keyClick(&f.view, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(f.view.GetBytes(), std::string("ab\r\ncZ\td\r\nef"));
    }

    void lockedViewScrollsButDoesNotChange() {
        CFixture f;
        f.Show();
        std::string bytes;
        for (int i = 0; i < 500; ++i) bytes += "line " + std::to_string(i) + "\r\n";
        f.view.SetBytes(bytes);
        const auto caretShown = [&] {
            return f.view.SendScintilla(QsciScintillaBase::SCI_GETFOCUS) != 0 &&
                   f.view.SendScintilla(QsciScintillaBase::SCI_GETCARETSTYLE) !=
                       QsciScintillaBase::CARETSTYLE_INVISIBLE;
        };
        QFocusEvent focusIn(QEvent::FocusIn, Qt::MouseFocusReason);
        f.view.SetLocked(true);
        QVERIFY(f.view.IsLocked() && f.view.isReadOnly() && f.view.isEnabled());
        // No caret in a locked view, not even when a click gives it the focus.
        QApplication::sendEvent(&f.view, &focusIn);
        QVERIFY(!caretShown());
        QTest::keyClicks(&f.view, "typed");
        QTest::keyClick(&f.view, Qt::Key_Return);
        QTest::keyClick(&f.view, Qt::Key_Delete);
        Paste(f.view, "pasted");
        Commit(f.view, "点");
        QCOMPARE(f.view.GetBytes(), bytes);
        QVERIFY(!f.doc.IsModified());
        const long top = f.view.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE);
        QTest::keyClick(&f.view, Qt::Key_PageDown);
        QTest::keyClick(&f.view, Qt::Key_PageDown);
        QVERIFY(f.view.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE) > top);
        f.view.verticalScrollBar()->setValue(f.view.verticalScrollBar()->maximum());
        QVERIFY(f.view.SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE) > 400);
        // The program still shows what arrives; the user's keys count again once unlocked.
        f.view.ShowBytesAtEnd(bytes + "more");
        QCOMPARE(f.view.GetBytes(), bytes + "more");
        f.view.SetLocked(false);
        QApplication::sendEvent(&f.view, &focusIn);
        QVERIFY(caretShown());
        QTest::keyClicks(&f.view, "!");
        QCOMPARE(f.view.GetBytes(), bytes + "more!");
    }

    void accessibleIsPlainUntilAnAssistiveToolListens() {
        // The editor's own accessible counts the whole text at every screen
        // update; nobody reads it until an assistive tool starts.
        CCommunicationView view;
        view.SetBytes("ab\r\n");
        QAccessibleInterface* plain = QAccessible::queryAccessibleInterface(&view);
        QVERIFY(plain && !plain->textInterface());
        QCOMPARE(QAccessible::queryAccessibleInterface(&view), plain);
        // A tool starting drops it, so the next query builds the one it needs.
        const QAccessible::Id id = QAccessible::uniqueId(plain);
        QAccessible::setActive(true);
        QAccessible::setActive(false);
        QAccessibleInterface* next = QAccessible::queryAccessibleInterface(&view);
        QVERIFY(next && QAccessible::uniqueId(next) != id);
    }

    void growingTextIsAppendedExactly() {
        // A transfer's text grows in pieces that may split a character, a
        // CR LF or an invalid sequence; the view always shows the whole.
        CCommunicationView view;
        std::string all;
        const std::string pieces[] = {
            "A\xB5", "\xE3\r", "\n\x81", "\x20\xFE", "", std::string("\0\xD6", 2), "\xD0\x81"};
        for (const std::string& piece : pieces) {
            all += piece;
            view.ShowBytesAtEnd(all);
            QCOMPARE(view.GetBytes(), all);
            QCOMPARE(Editor(view), DecodeViewUtf8(all));
            QCOMPARE(view.CaretPosition(), view.CharacterCount());
            QCOMPARE(view.ByteCount(), static_cast<qsizetype>(all.size()));
        }
        // A text that does not extend the shown one replaces it.
        view.ShowBytesAtEnd("new");
        QCOMPARE(Editor(view), std::string("new"));
        // After the user's own edit, a longer text still replaces everything.
        view.SetCaretPosition(0);
        QTest::keyClicks(&view, "x");
        view.ShowBytesAtEnd("new and more");
        QCOMPARE(Editor(view), std::string("new and more"));
        QCOMPARE(view.GetBytes(), std::string("new and more"));
    }

    void fileSizeLimit() {
        CFixture f;
        const std::string limit(CCommunicationDoc::kMaxFileBytes, 'A');
        QCOMPARE(limit.size(), size_t(4194304));  // the bound of every input: what was saved opens
        WriteAll(Path("limit"), limit);
        WriteAll(Path("over"), limit + "B");
        QVERIFY(f.doc.OpenDocument(Path("limit")));
        QCOMPARE(f.view.GetBytes(), limit);
        f.view.SetBytes("kept\r\n");
        QVERIFY(!f.doc.OpenDocument(Path("over")));
        QCOMPARE(m_messages, QStringList{U("该文件太大，无法打开。")});
        QCOMPARE(f.view.GetBytes(), std::string("kept\r\n"));
        QCOMPARE(f.doc.Title(), QString("limit"));  // still the file that opened
    }

    void typingAndPastingStopAtTheSavedSize() {
        CFixture f;
        const int limit = CCommunicationView::kMaxTypedBytes;
        // Typed at the end of a text `room` bytes short of the largest size
        // that opens: ASCII takes exactly the room, a line break (CR LF) two
        // bytes or none, an input method's Chinese two a character, never half.
        const struct {
            int room;
            std::function<void()> type;
            std::string added;
        } typed[] = {{0, [&f] { QTest::keyClicks(&f.view, "a"); }, ""},
                     {0, [&f] { Paste(f.view, "b"); }, ""},
                     {2, [&f] { QTest::keyClicks(&f.view, "yyyy"); }, "yy"},
                     {1, [&f] { QTest::keyClick(&f.view, Qt::Key_Return); }, ""},
                     {2, [&f] { QTest::keyClick(&f.view, Qt::Key_Return); }, "\r\n"},
                     {1, [&f] { Commit(f.view, "点"); }, ""},
                     {3, [&f] { Commit(f.view, "点名"); }, "\xB5\xE3"}};
        for (const auto& t : typed) {
            f.view.SetBytes(Filler(limit - t.room));
            CaretToEnd(f.view);
            t.type();
            QCOMPARE(f.view.GetBytes(), Filler(limit - t.room) + t.added);
        }

        // 20,000 Chinese characters pasted where 15,000 and a half fit.
        const int room = 30001;
        f.view.SetBytes(Filler(limit - room));
        CaretToEnd(f.view);
        Paste(f.view, QString(20000, QChar(0x70B9)));  // 点
        QCOMPARE(f.view.ByteCount(), qsizetype(limit - 1));
        std::string want = Filler(limit - room);
        for (int i = 0; i < 15000; ++i) want += "\xB5\xE3";
        QCOMPARE(f.view.GetBytes(), want);
        // Save and open again: what can be saved can be opened.
        QVERIFY(f.doc.SaveDocument(Path("pasted")));
        QVERIFY(f.doc.OpenDocument(Path("pasted")));
        QCOMPARE(f.view.GetBytes(), want);

        // Pasted line breaks become CR LF; what code page 936 lacks becomes '?'.
        f.view.SetBytes({});
        Paste(f.view, U("a\nb\rc\r\nd\xF0\x9F\x98\x80\xE0\xB8\x81\xE2\x82\xAC"));
        QCOMPARE(f.view.GetBytes(), std::string("a\r\nb\r\nc\r\nd??\x80"));
    }

    void savePromptOnModifiedDocument() {
        CFixture f;
        QTest::keyClicks(&f.view, "P1");
        QVERIFY(f.doc.IsModified());
        const QString prompt = U("将改动保存到 无标题？");

        m_answers = {EAnswer::Cancel};
        QVERIFY(!f.doc.OnFileNew());
        QCOMPARE(m_messages, QStringList{prompt});
        QCOMPARE(f.view.GetBytes(), std::string("P1"));

        // Yes: the untitled document is saved under the name the user gives,
        // with no extension added, and only then cleared.
        m_messages.clear();
        m_answers = {EAnswer::Yes};
        m_nextFile = Path("saved");
        QVERIFY(f.doc.OnFileNew());
        QCOMPARE(m_suggested, QStringList{U("无标题")});
        QCOMPARE(ReadAll(Path("saved")), std::string("P1"));
        QVERIFY(!QFile::exists(Path("saved.txt")));
        QCOMPARE(f.view.GetBytes(), std::string());
        QCOMPARE(f.doc.Title(), U("无标题"));

        // A download marks the document modified, so it is offered too; No drops it.
        m_messages.clear();
        f.view.SetBytes("downloaded");
        f.doc.SetModified(true);
        m_answers = {EAnswer::No};
        m_nextFile = Path("saved");
        QVERIFY(f.doc.OnFileOpen());
        QCOMPARE(m_messages, QStringList{prompt});
        QCOMPARE(f.view.GetBytes(), std::string("P1"));
        QCOMPARE(f.doc.Title(), QString("saved"));

        // Nothing changed: no question.
        m_messages.clear();
        QVERIFY(f.doc.OnFileNew());
        QVERIFY(m_messages.isEmpty());
        // Saved, the document holds no change any more.
        QTest::keyClicks(&f.view, "Q");
        QVERIFY(f.doc.SaveDocument(Path("again")));
        QVERIFY(!f.doc.IsModified());
    }

    void fileErrorsKeepTheText() {
        CFixture f;
        f.view.SetBytes("mine");
        QVERIFY(!f.doc.OpenDocument(Path("missing")));
        QVERIFY(!f.doc.OpenDocument(m_dir.path()));
        QVERIFY(!f.doc.SaveDocument(Path("no/such/dir/file")));
        QCOMPARE(m_messages.size(), 3);
        QCOMPARE(m_messages[0], U("无法找到该文件。\n请验证给出的路径和文件名是否正确。"));
        QCOMPARE(m_messages[1], U("无效的文件名。"));
        QVERIFY(m_messages[2].contains("no/such/dir/file") ||
                m_messages[2].contains(U("保存文档失败")));
        QCOMPARE(f.view.GetBytes(), std::string("mine"));

        // A link is never written through; a FIFO neither opens nor saves
        // (either would hold the window); a full disk leaves the old file.
        WriteAll(Path("target"), "old");
        QVERIFY(QFile::link(Path("target"), Path("link")));
        QVERIFY(::mkfifo(QFile::encodeName(Path("fifo")).constData(), 0600) == 0);
        m_messages.clear();
        QVERIFY(!f.doc.SaveDocument(Path("link")));
        QVERIFY(!f.doc.SaveDocument(Path("fifo")));
        QVERIFY(!f.doc.OpenDocument(Path("fifo")));
        {
            CFileSizeLimit full(2);
            QVERIFY(!f.doc.SaveDocument(Path("target")));
        }
        QVERIFY(m_messages.value(0).startsWith(U("无法对 ") + Path("link")));
        QVERIFY(m_messages[0].endsWith("\nis a symbolic link; not written through it"));
        QCOMPARE(m_messages.mid(1), (QStringList{U("无效的文件名。"), U("打开文档失败。"),
                                                 U("目的磁盘驱动器已满。")}));
        QCOMPARE(ReadAll(Path("target")), std::string("old"));
        QVERIFY(QFileInfo(Path("link")).isSymLink());
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".target"),
                 QStringList());
        QCOMPARE(f.view.GetBytes(), std::string("mine"));
    }

    void recentFilesKeepFourNewestFirst() {
        QSettings(U(doctext::kSettingsOrganisation), U(doctext::kAppTitle))
            .remove(doctext::kRecentGroup);
        CFixture f;
        for (int i = 0; i < 6; ++i) {
            WriteAll(Path(QString("r%1").arg(i)), "x");
            QVERIFY(f.doc.OpenDocument(Path(QString("r%1").arg(i))));
        }
        QVERIFY(f.doc.OpenDocument(Path("r3")));  // moves up, no duplicate
        const QStringList expected = {Path("r3"), Path("r5"), Path("r4"), Path("r2")};
        QCOMPARE(f.doc.RecentFiles().Files(), expected);
        // Kept for the next run.
        QCOMPARE(CRecentFileList(U(doctext::kAppTitle)).Files(), expected);
    }
};

QTEST_MAIN(CDocViewTest)
#include "DocView_qtest.moc"
