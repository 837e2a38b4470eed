// The conversion and editing commands as the user runs them in the window: a
// conversion's result replaces the view (and the transfer text) as a new,
// untitled document, so it never overwrites the file it came from; editing
// keeps the file and marks the document changed; a failure shows its message
// and leaves the view and the document exactly as they were.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "app/CommandIds.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "convert/RecordFormats.h"
#include "doc/CommunicationDoc.h"
#include "doc/CommunicationView.h"
#include "doc/MessageSeam.h"
#include "edit/CoordListDlg.h"
#include "edit/EditUi.h"
#include "edit/PrismCorrectDlg.h"
#include "edit/RecordTables.h"
#include "edit/UpdatePromptDlg.h"
#include "transfer/TransferState.h"

namespace {
std::string ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}
std::string ReadSample(const QString& name) {
    return ReadAll(QString(JVS_SOURCE_DIR "/samples/") + name);
}
}  // namespace

class CConvertWindowTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    std::unique_ptr<CCommunicationApp> m_app;
    CMainFrame* m_frame = nullptr;
    CCommunicationView* m_view = nullptr;
    QStringList m_messages;
    QStringList m_saveAsked;

    // Opens a file holding text as the document.
    QString OpenSource(const std::string& text) {
        const QString path = m_dir.filePath("source.txt");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return {};
        f.write(text.data(), static_cast<qint64>(text.size()));
        f.close();
        return m_app->Doc()->OpenDocument(path) ? path : QString();
    }

    void Run(unsigned id, const std::string& viewText) {
        m_view->SetBytes(viewText);
        m_app->Doc()->SetModified(false);
        QVERIFY(m_frame->OnCommand(id));
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.filePath("cfg"));
        QDir::setCurrent(m_dir.path());
        SetMessageHook([this](const QString& text, EButtons) {
            m_messages << text;
            return EAnswer::Ok;
        });
        SetFileDialogHook([this](bool save, const QString& suggested) {
            if (save) m_saveAsked << suggested;
            return QString();
        });
        m_app = std::make_unique<CCommunicationApp>();
        StartOptions options;
        options.showSplash = false;
        options.startupWait = false;
        QVERIFY(m_app->InitInstance(options));
        m_frame = m_app->Frame();
        m_view = m_app->View();
    }
    void init() {
        m_messages.clear();
        m_saveAsked.clear();
    }
    void cleanupTestCase() {
        m_app->Doc()->SetModified(false);
        m_app.reset();
    }

    void menuAndCommandBarConversionsReplaceTheView_data() {
        QTest::addColumn<unsigned>("id");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("terv210") << cmd::kTervCoords210 << "qmx210-coords.txt"
                                 << "expected/qmx210-coords.terv210.txt";
        QTest::newRow("terv610") << cmd::kTervCoords610 << "qmx610-coords.txt"
                                 << "expected/qmx610-coords.terv610.txt";
        QTest::newRow("zeltamap") << cmd::kZeltaMap << "qmx610-coords.txt"
                                  << "expected/qmx610-coords.terv610.txt";
        QTest::newRow("edgeangle") << cmd::kTervEdgeAngle610 << "qmx610-angles.txt"
                                   << "expected/qmx610-angles.edgeangle610.txt";
        QTest::newRow("pcode") << cmd::kPcodeList << "raw-codes.txt"
                               << "expected/raw-codes.pcode-list.txt";
        QTest::newRow("measure") << cmd::kTervMeasurement210 << "jvs-measure.txt"
                                 << "expected/jvs-measure.measure210.txt";
        QTest::newRow("blocks") << cmd::kShowCoordBlocks210 << "terv210.txt"
                                << "expected/terv210.blocks210.txt";
    }
    void menuAndCommandBarConversionsReplaceTheView() {
        QFETCH(unsigned, id);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        const std::string in = ReadSample(input), want = ReadSample(expected);
        QVERIFY(!in.empty() && !want.empty());
        QVERIFY(m_frame->Action(id)->isEnabled());
        Run(id, in);
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('|')));
        QCOMPARE(m_view->GetBytes(), want);
        QCOMPARE(g_strTransferText.Get(), want);
        // Other data than any file holds: untitled and offered for saving.
        QVERIFY(m_app->Doc()->IsModified());
        QCOMPARE(m_app->Doc()->Title(), QString::fromUtf8("无标题"));
    }

    void saveAfterAConversionAsksForAName() {
        const std::string in = ReadSample("qmx610-coords.txt");
        const QString source = OpenSource(in);
        QVERIFY(!source.isEmpty());
        QVERIFY(m_frame->OnCommand(cmd::kTervCoords610));
        QCOMPARE(m_frame->windowTitle(), QString::fromUtf8("无标题 - Communication"));
        QVERIFY(m_frame->OnCommand(cmd::kFileSave));
        QCOMPARE(m_saveAsked, QStringList{QString::fromUtf8("无标题")});
        QCOMPARE(ReadAll(source), in);
        // Exit offers the result (the box's default answer stays).
        QVERIFY(!m_app->CanExit());
        QCOMPARE(m_messages, QStringList{QString::fromUtf8("将改动保存到 无标题？")});
    }

    void editingKeepsTheFileAndMarksItChanged() {
        // Prism correction, then the coordinate list (a row deleted), each
        // written back over the same file by a plain Save.
        const QString source = OpenSource("P1,C1,3,4,12\r\nP2,C2,3,4,12\r\n");
        SetEditDialogRunner([](QDialog& dialog) {
            if (auto* prism = qobject_cast<CPrismCorrectDlg*>(&dialog)) {
                prism->NewConstEdit()->setText("13000");
            } else if (auto* list = qobject_cast<CCoordListDlg*>(&dialog)) {
                list->OnDelete();
                list->accept();
                return dialog.result();
            }
            dialog.accept();  // the format and the update prompt: OK
            return dialog.result();
        });
        const std::string corrected =
            "P1,C1,6.000000,8.000000,24.000000\r\nP2,C2,6.000000,8.000000,24.000000\r\n";
        QVERIFY(m_frame->OnCommand(cmd::kPrismCorrect));
        QCOMPARE(m_view->GetBytes(), corrected);
        QVERIFY(m_app->Doc()->IsModified());
        QCOMPARE(m_app->Doc()->Title(), QString("source.txt"));
        QVERIFY(m_frame->OnCommand(cmd::kEditCoordList));
        QCOMPARE(m_view->GetBytes(), corrected.substr(corrected.find('\n') + 1));
        QVERIFY(m_app->Doc()->IsModified());
        QVERIFY(m_frame->OnCommand(cmd::kFileSave));
        SetEditDialogRunner({});
        QVERIFY(m_saveAsked.isEmpty());
        QCOMPARE(ReadAll(source), m_view->GetBytes());
        QVERIFY(!m_app->Doc()->IsModified());
        QVERIFY(m_messages.isEmpty());
    }

    void pcodeListFillsTheCodeTable() {
        Run(cmd::kPcodeList, ReadSample("raw-codes.txt"));
        const std::string list = m_view->GetBytes();
        QCOMPARE(g_nCodeCount, CountCodeListLines(list));
        QVERIFY(g_nCodeCount > 0);
    }

    void dxfExportWritesADrawing() {
        Run(cmd::kDxfExport, "P1,,100.5,200.25,10\r\nP2,TREE,101,201,11\r\n");
        const std::string dxf = m_view->GetBytes();
        QVERIFY(dxf.rfind("  0\r\nSECTION\r\n", 0) == 0);
        QVERIFY(dxf.find("100.5000") != std::string::npos);
        QVERIFY(dxf.size() > 4 && dxf.substr(dxf.size() - 5) == "EOF\r\n");
        QCOMPARE(g_nCoordCount, 2);
    }

    void failuresKeepTheViewAndTellWhy() {
        struct Case {
            unsigned id;
            std::string text;
            const char* message;
        };
        QVERIFY(!OpenSource("x").isEmpty());
        const Case cases[] = {
            {cmd::kTervCoords210, "", "没有数据!"},
            {cmd::kTervCoords210, "no framing\r\n", "文件格式不正确!"},
            {cmd::kTervMeasurement210, "x", "文件格式不正确!"},
            {cmd::kTervCoords610, "nothing here\r\n", "没有坐标数据!"},
            {cmd::kShowCoordBlocks210, "A,B,1\r\n", "不是有效的TERV210格式!"},
            {cmd::kDxfExport, "A,B,1\r\n", "无效TERV210格式!"},
            {cmd::kPcodeList, " raw\r\n", "无效原始编码格式!"},
        };
        for (const Case& c : cases) {
            m_messages.clear();
            g_strTransferText.Set("stale");
            Run(c.id, c.text);
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(m_messages.first().section('\n', 0, 0), QString::fromUtf8(c.message));
            QCOMPARE(m_view->GetBytes(), c.text);
            QVERIFY(!m_app->Doc()->IsModified());
            QCOMPARE(m_app->Doc()->Title(), QString("source.txt"));
        }
    }
};

QTEST_MAIN(CConvertWindowTest)
#include "ConvertWindow_qtest.moc"
