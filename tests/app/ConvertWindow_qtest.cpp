// The conversion and editing commands as the user runs them in the window: a
// conversion's result replaces the view (and the transfer text) as a new,
// untitled document, so it never overwrites the file it came from; editing
// keeps the file and marks the document changed; a failure shows its message
// and leaves the view and the document exactly as they were.
#include <QLineEdit>
#include <QtTest>

#include "AppTest_support.h"
#include "app/CommandIds.h"
#include "app/CommandTable.h"
#include "app/CommunicationApp.h"
#include "app/MainFrame.h"
#include "convert/Converters.h"
#include "convert/RecordFormats.h"
#include "convert/ViewCodec.h"
#include "edit/RecordTables.h"
#include "transfer/TransferState.h"
#include "ui/BusyWork.h"
#include "ui/CoordListDlg.h"
#include "ui/CrsChoiceDlg.h"
#include "ui/EditUi.h"
#include "ui/PrismCorrectDlg.h"
#include "view/CommunicationDoc.h"
#include "view/CommunicationView.h"

namespace {
std::string ReadSample(const char* name) {
    return ReadAll(QString(JVS_SOURCE_DIR "/samples/") + name);
}
}  // namespace

class CConvertWindowTest : public CAppTest {
    Q_OBJECT
private:
    void Run(unsigned id, const std::string& viewText) {
        m_app->View()->SetBytes(viewText);
        m_app->Doc()->SetModified(false);
        QVERIFY(m_app->Frame()->OnCommand(id));
    }

private slots:
    void initTestCase() { QVERIFY(Start()); }
    void init() { Forget(); }
    void cleanupTestCase() {
        m_app->Doc()->SetModified(false);
        m_app.reset();
    }

    void conversionsReplaceTheViewAndFillTheTables() {
        const struct {
            unsigned id;
            const char *input, *expected;
        } cases[] = {
            {cmd::kTervCoords210, "qmx210-coords.txt", "expected/qmx210-coords.terv210.txt"},
            {cmd::kTervCoords610, "qmx610-coords.txt", "expected/qmx610-coords.terv610.txt"},
            {cmd::kZeltaMap, "qmx610-coords.txt", "expected/qmx610-coords.terv610.txt"},
            {cmd::kTervEdgeAngle610, "qmx610-angles.txt",
             "expected/qmx610-angles.edgeangle610.txt"},
            {cmd::kPcodeList, "raw-codes.txt", "expected/raw-codes.pcode-list.txt"},
            {cmd::kTervMeasurement210, "jvs-measure.txt", "expected/jvs-measure.measure210.txt"},
            {cmd::kShowCoordBlocks210, "terv210.txt", "expected/terv210.blocks210.txt"},
        };
        QVERIFY(!OpenSource("x").isEmpty());  // the caption names the file, then untitled
        for (const auto& c : cases) {
            const std::string in = ReadSample(c.input), want = ReadSample(c.expected);
            QVERIFY2(!in.empty() && !want.empty(), c.input);
            Run(c.id, in);
            QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('|')));
            QVERIFY2(m_app->View()->GetBytes() == want, c.expected);
            QVERIFY(g_strTransferText.Get() == want);
            // Other data than any file holds: untitled and offered for saving.
            QVERIFY(m_app->Doc()->IsModified());
            QCOMPARE(m_app->Frame()->windowTitle(), U("无标题 - Communication"));
            if (c.id == cmd::kPcodeList)
                QCOMPARE(g_nCodeCount, CountCodeListLines(want));  // for the code list editor
            // One undo step brings the text back that the conversion replaced.
            QVERIFY(m_app->Frame()->OnCommand(cmd::kEditUndo));
            QVERIFY2(m_app->View()->GetBytes() == in, c.input);
        }
        QVERIFY(g_nCodeCount > 0);
        // The drawing is the converter's (its bytes are the convert tests');
        // the coordinate list gets its points.
        const std::string points = "P1,,100.5,200.25,10\r\nP2,TREE,101,201,11\r\n";
        Run(cmd::kDxfExport, points);
        QVERIFY(m_app->View()->GetBytes() == OnDxfExport(points).m_text);
        QCOMPARE(g_nCoordCount, 2);
    }

    void editingKeepsTheFileAndMarksItChanged() {
        // Prism correction, then the coordinate list (a row deleted), each
        // written back over the same file by a plain Save.
        const QString source = OpenSource("P1,C1,3,4,12\r\nP2,C2,3,4,12\r\n");
        SetEditDialogRunner([](QDialog& dialog) {
            if (auto* prism = qobject_cast<CPrismCorrectDlg*>(&dialog))
                prism->NewConstEdit()->setText("13000");
            else if (auto* list = qobject_cast<CCoordListDlg*>(&dialog))
                list->OnDelete();
            dialog.accept();  // the format and the update prompt: OK
            return dialog.result();
        });
        const std::string corrected =
            "P1,C1,6.000000,8.000000,24.000000\r\nP2,C2,6.000000,8.000000,24.000000\r\n";
        QVERIFY(m_app->Frame()->OnCommand(cmd::kPrismCorrect));
        QCOMPARE(m_app->View()->GetBytes(), corrected);
        QVERIFY(m_app->Doc()->IsModified());
        QCOMPARE(m_app->Doc()->Title(), QString("source.txt"));
        QVERIFY(m_app->Frame()->OnCommand(cmd::kEditCoordList));
        QCOMPARE(m_app->View()->GetBytes(), corrected.substr(corrected.find('\n') + 1));
        QVERIFY(m_app->Doc()->IsModified());
        QVERIFY(m_app->Frame()->OnCommand(cmd::kFileSave));
        QVERIFY(m_saveAsked.isEmpty());
        QCOMPARE(ReadAll(source), m_app->View()->GetBytes());
        QVERIFY(!m_app->Doc()->IsModified());
        QVERIFY(m_messages.isEmpty());
        // Each edit is one undo step, newest first; typing is undone before them.
        m_app->View()->SetCaretPosition(0);
        QTest::keyClicks(m_app->View(), "x");
        QTest::keyClick(m_app->View(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_app->View()->GetBytes(), corrected.substr(corrected.find('\n') + 1));
        QVERIFY(m_app->Frame()->OnCommand(cmd::kEditUndo));
        QCOMPARE(m_app->View()->GetBytes(), corrected);
        QTest::keyClick(m_app->View(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(m_app->View()->GetBytes(), std::string("P1,C1,3,4,12\r\nP2,C2,3,4,12\r\n"));
        QVERIFY(m_app->Doc()->IsModified());
    }

    void cancelledWorkChangesNothing() {
        // 取消 while a conversion or a correction runs: the view, the document
        // and what Undo brings back stay as they were.
        const std::string in = ReadSample("qmx610-coords.txt");
        QVERIFY(!OpenSource(in).isEmpty());
        QStringList busy;
        SetBusyHook([&busy](const QString& what) {
            busy << what;
            return true;
        });
        SetEditDialogRunner([](QDialog& dialog) {
            if (auto* prism = qobject_cast<CPrismCorrectDlg*>(&dialog))
                prism->NewConstEdit()->setText("13000");
            dialog.accept();
            return dialog.result();
        });
        for (unsigned id : {cmd::kTervCoords610, cmd::kDxfExport, cmd::kPrismCorrect}) {
            QVERIFY(m_app->Frame()->OnCommand(id));
            QVERIFY(m_app->View()->GetBytes() == in);
            QVERIFY(!m_app->Doc()->IsModified());
            QCOMPARE(m_app->Doc()->Title(), QString("source.txt"));
            QVERIFY(!m_app->View()->CanUndoStep());
        }
        QCOMPARE(busy, (QStringList{U("正在转换数据…"), U("正在转换数据…"), U("正在校正坐标…")}));
        QVERIFY(m_messages.isEmpty());
    }

    void failuresKeepTheViewAndTellWhy() {
        // One case for each way a conversion runs; the messages are the converters'.
        const struct {
            unsigned id;
            std::string text;
            const char* message;
        } cases[] = {
            {cmd::kTervCoords610, "nothing here\r\n", "没有坐标数据!"},
            {cmd::kDxfExport, "A,B,1\r\n", "无效TERV210格式!"},
            {cmd::kPcodeList, " raw\r\n", "无效原始编码格式!"},
        };
        QVERIFY(!OpenSource("x").isEmpty());
        for (const auto& c : cases) {
            m_messages.clear();
            g_strTransferText.Set("stale");
            Run(c.id, c.text);
            QCOMPARE(m_messages.size(), 1);
            QCOMPARE(m_messages.first().section('\n', 0, 0), U(c.message));
            QCOMPARE(m_app->View()->GetBytes(), c.text);
            QVERIFY(!m_app->Doc()->IsModified());
            QCOMPARE(m_app->Doc()->Title(), QString("source.txt"));
        }
    }

    // 文件 → 导出 → KML: the points are checked first, the grid is asked for
    // (the last one offered again, and kept in the settings file), the file
    // written where the user said; never during a transfer.
    void exportMenuWritesTheChosenFile() {
        QAction* kml = m_app->Frame()->Action(cmd::kExportKml);
        QVERIFY(!TheCommandTable().IsEnabled(cmd::kExportKml, true));

        // PROJ's pipelines are kept in the test's folder, not the user's.
        qputenv("XDG_CACHE_HOME", m_dir.filePath("cache").toUtf8());
        QStringList crsAsked;
        SetCrsChoiceHook([&](const QString& last) -> std::optional<QString> {
            crsAsked << last;
            return U("EPSG:4547");
        });
        const QString target = m_dir.filePath("points.kml");
        SetFileDialogHook([&](bool, const QString& suggested) {
            m_saveAsked << suggested;
            return target;
        });
        m_app->View()->SetBytes("hello\r\n");
        kml->trigger();
        QCOMPARE(m_messages, QStringList{U("没有坐标数据!")});
        QVERIFY(crsAsked.isEmpty() && m_saveAsked.isEmpty());

        m_messages.clear();
        m_app->View()->SetBytes(Utf8ToGbk("点1,电杆,500000,3400000,10\r\n"));
        for (int run = 0; run < 2; ++run) kml->trigger();
        QVERIFY2(m_messages.isEmpty(), qPrintable(m_messages.join('|')));
        QCOMPARE(crsAsked, (QStringList{QString(), U("EPSG:4547")}));
        QCOMPARE(m_saveAsked.size(), 2);
        QVERIFY(m_saveAsked[0].endsWith(".kml"));
        QVERIFY(ReadAll(target).find("<coordinates>114.000000000,30.720617456,10</coordinates>") !=
                std::string::npos);
        QVERIFY(ReadAll(m_dir.filePath("jvs_cfg.ini")).find("[JVSEXPORT]\r\nCRS=EPSG:4547") !=
                std::string::npos);
    }
};

QTEST_MAIN(CConvertWindowTest)
#include "ConvertWindow_qtest.moc"
