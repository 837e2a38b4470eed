// The document and the edit view: files come back byte for byte, the size
// limits hold, and a changed document is never dropped without asking.
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <string>

#include "convert/ViewCodec.h"
#include "doc/CommunicationDoc.h"
#include "doc/CommunicationView.h"
#include "doc/DocStrings.h"
#include "doc/MessageSeam.h"

namespace {
std::string ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    const QByteArray b = f.readAll();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}
void WriteAll(const QString& path, const std::string& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes.data(), static_cast<qint64>(bytes.size())),
             static_cast<qint64>(bytes.size()));
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
        // Every byte value after every byte value, plus the awkward cases at
        // the very start and end of a file.
        std::string pairs;
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b) {
                pairs += static_cast<char>(a);
                pairs += static_cast<char>(b);
            }
        const std::string cases[] = {
            pairs,
            std::string("\n\r\r\n\n\n\r\r", 8),
            std::string("\0\x02\x03\x04"
                        "abc\0",
                        8),
            "\x81\x20\xFF\xD6\xD0\x80\xFE",  // invalid GBK, lone lead byte at the end
            "line1\nline2\rline3\r\n\xB5\xE3\n",
            std::string(3000, 'x') + "\r\n",  // one long line: wraps, saves as one line
        };
        CFixture f;
        f.view.resize(300, 200);
        f.view.show();
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
            QVERIFY2(EncodeViewDisplay(f.view.toPlainText()) == bytes, qPrintable(in));
        }
        QVERIFY(m_messages.isEmpty());
        QCOMPARE(f.view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(f.view.lineWrapMode(), QPlainTextEdit::WidgetWidth);
    }

    void typedLinesEndInCrLfAndOtherLinesStay() {
        CFixture f;
        const std::string bytes = "a\nb\xB5\xE3\r\n";
        f.view.SetBytes(bytes);
        QVERIFY(!f.doc.IsModified());  // placing text is not a change by the user
        f.view.moveCursor(QTextCursor::End);
        QTest::keyClicks(&f.view, "c");
        QTest::keyClick(&f.view, Qt::Key_Return);
        QTest::keyClicks(&f.view, "d");
        QVERIFY(f.doc.IsModified());
        QCOMPARE(f.view.GetBytes(), bytes + "c\r\nd");
        // Placing the earlier text again really replaces what was typed.
        f.view.SetBytes(bytes);
        QCOMPARE(f.view.toPlainText(), DecodeViewDisplay(bytes));
        QCOMPARE(f.view.GetBytes(), bytes);
        f.view.undo();
        QCOMPARE(EncodeViewDisplay(f.view.toPlainText()), f.view.GetBytes());
    }

    void fileSizeLimit() {
        CFixture f;
        const std::string limit(CCommunicationDoc::kMaxFileBytes, 'A');
        WriteAll(Path("limit"), limit);
        WriteAll(Path("over"), limit + "B");
        QVERIFY(f.doc.OpenDocument(Path("limit")));
        QCOMPARE(f.view.GetBytes().size(), limit.size());
        f.view.SetBytes("kept\r\n");
        QVERIFY(!f.doc.OpenDocument(Path("over")));
        QCOMPARE(m_messages, QStringList{QString::fromUtf8("该文件太大，无法打开。")});
        QCOMPARE(f.view.GetBytes(), std::string("kept\r\n"));
        QCOMPARE(f.doc.Title(), QString("limit"));  // still the file that opened
    }

    void typingStopsAtTheLimit() {
        CFixture f;
        // Other parts may place more; only the user's own input is limited.
        f.view.SetBytes(std::string(CCommunicationView::kMaxTypedChars - 2, 'x'));
        f.view.moveCursor(QTextCursor::End);
        QTest::keyClicks(&f.view, "yyyy");
        QCOMPARE(f.view.CharacterCount(), CCommunicationView::kMaxTypedChars);
        // Text committed by an input method is held to the same limit.
        f.view.SetBytes(std::string(CCommunicationView::kMaxTypedChars - 1, 'x'));
        f.view.moveCursor(QTextCursor::End);
        QInputMethodEvent ime;
        ime.setCommitString(QString::fromUtf8("点名"));
        QCoreApplication::sendEvent(&f.view, &ime);
        QCOMPARE(f.view.CharacterCount(), CCommunicationView::kMaxTypedChars);
        QCOMPARE(f.view.toPlainText().right(2), QString::fromUtf8("x点"));
        QGuiApplication::clipboard()->setText("0123456789");
        f.view.paste();
        QCOMPARE(f.view.CharacterCount(), CCommunicationView::kMaxTypedChars);
        // Replacing a selection has the selection's room.
        f.view.selectAll();
        f.view.paste();
        QCOMPARE(f.view.GetBytes(), std::string("0123456789"));
    }

    void savePromptOnModifiedDocument() {
        CFixture f;
        QTest::keyClicks(&f.view, "P1");
        QVERIFY(f.doc.IsModified());
        const QString prompt = QString::fromUtf8("将改动保存到 无标题？");

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
        QCOMPARE(m_suggested, QStringList{QString::fromUtf8("无标题")});
        QCOMPARE(ReadAll(Path("saved")), std::string("P1"));
        QVERIFY(!QFile::exists(Path("saved.txt")));
        QCOMPARE(f.view.GetBytes(), std::string());
        QCOMPARE(f.doc.Title(), QString::fromUtf8("无标题"));

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
    }

    void fileErrorsKeepTheText() {
        CFixture f;
        f.view.SetBytes("mine");
        QVERIFY(!f.doc.OpenDocument(Path("missing")));
        QVERIFY(!f.doc.OpenDocument(m_dir.path()));
        QVERIFY(!f.doc.SaveDocument(Path("no/such/dir/file")));
        QCOMPARE(m_messages.size(), 3);
        QCOMPARE(m_messages[0],
                 QString::fromUtf8("无法找到该文件。\n请验证给出的路径和文件名是否正确。"));
        QCOMPARE(m_messages[1], QString::fromUtf8("无效的文件名。"));
        QVERIFY(m_messages[2].contains("no/such/dir/file") ||
                m_messages[2].contains(QString::fromUtf8("保存文档失败")));
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
        struct rlimit old {};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
        struct rlimit tiny = old;
        tiny.rlim_cur = 2;
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &tiny) == 0);
        const bool savedWhenFull = f.doc.SaveDocument(Path("target"));
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, oldHandler);
        QVERIFY(!savedWhenFull);
        QCOMPARE(m_messages.size(), 4);
        QVERIFY(m_messages[0].startsWith(QString::fromUtf8("无法对 ") + Path("link")));
        QVERIFY(m_messages[0].endsWith("\nis a symbolic link; not written through it"));
        QCOMPARE(m_messages[1], QString::fromUtf8("无效的文件名。"));
        QCOMPARE(m_messages[2], QString::fromUtf8("打开文档失败。"));
        QCOMPARE(m_messages[3], QString::fromUtf8("目的磁盘驱动器已满。"));
        QCOMPARE(ReadAll(Path("target")), std::string("old"));
        QVERIFY(QFileInfo(Path("link")).isSymLink());
        QCOMPARE(QDir(m_dir.path()).entryList(QDir::Hidden | QDir::Files).filter(".target"),
                 QStringList());
        QCOMPARE(f.view.GetBytes(), std::string("mine"));
    }

    void recentFilesKeepFourNewestFirst() {
        QSettings(QString::fromUtf8(doctext::kSettingsOrganisation),
                  QString::fromUtf8(doctext::kAppTitle))
            .remove(doctext::kRecentGroup);
        CFixture f;
        for (int i = 0; i < 6; ++i) {
            WriteAll(Path(QString("r%1").arg(i)), "x");
            QVERIFY(f.doc.OpenDocument(Path(QString("r%1").arg(i))));
        }
        QVERIFY(f.doc.OpenDocument(Path("r3")));  // moves up, no duplicate
        const QStringList expected = {Path("r3"), Path("r5"), Path("r4"), Path("r2")};
        QCOMPARE(f.doc.RecentFiles().Files(), expected);
        // Kept in the per-user settings under the application's names.
        CRecentFileList reread(QString::fromUtf8(doctext::kAppTitle));
        QCOMPARE(reread.Files(), expected);
        QSettings settings(QString::fromUtf8(doctext::kSettingsOrganisation),
                           QString::fromUtf8(doctext::kAppTitle));
        QCOMPARE(settings.value("Recent File List/File1").toString(), Path("r3"));
        // An entry that no longer opens leaves the list.
        QVERIFY(QFile::remove(Path("r5")));
        QVERIFY(!f.doc.OnOpenRecentFile(1));
        QCOMPARE(f.doc.RecentFiles().Files(), (QStringList{Path("r3"), Path("r4"), Path("r2")}));
    }
};

QTEST_MAIN(CDocViewTest)
#include "DocView_qtest.moc"
