// The conversion commands as the user runs them in the window: the result
// replaces the view (and the transfer text) without marking the document
// changed; a failure shows its message and leaves the view exactly as it was.
#include <QDir>
#include <QFile>
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
#include "edit/RecordTables.h"
#include "transfer/TransferState.h"

namespace {
std::string ReadSample(const QString& name) {
    QFile file(QString(JVS_SOURCE_DIR "/samples/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
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
        m_app = std::make_unique<CCommunicationApp>();
        StartOptions options;
        options.showSplash = false;
        options.startupWait = false;
        QVERIFY(m_app->InitInstance(options));
        m_frame = m_app->Frame();
        m_view = m_app->View();
    }
    void init() { m_messages.clear(); }
    void cleanupTestCase() { m_app.reset(); }

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
        // Converted text is not a change the user made: exiting asks nothing.
        QVERIFY(!m_app->Doc()->IsModified());
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
        }
    }
};

QTEST_MAIN(CConvertWindowTest)
#include "ConvertWindow_qtest.moc"
