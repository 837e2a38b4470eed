// The plan view on its own, fed by a text: where the points land, picking
// and the caret, the checklist, and the pictures it writes.
#include <sys/stat.h>

#include <QImage>
#include <QListView>
#include <QPrinter>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>
#include <cmath>
#include <set>

#include "QtFiles_support.h"
#include "ui/MessageSeam.h"
#include "ui/PlanDock.h"

namespace {
// The triangle A (1000, 5000), B (1100, 5000), C (1000, 5050) as E, N in
// TERV210 lines: no mirror or swap of the axes maps its corners onto each
// other. Every other form reads to the same points (the convert tests).
constexpr char kTriangle[] =
    "A,KZ,1000.000,5000.000,1.000\r\nB,KZ,1100.000,5000.000,2.000\r\n"
    "C,KZ,1000.000,5050.000,3.000\r\n";

bool IsWhite(QRgb c) {
    return qRed(c) > 240 && qGreen(c) > 240 && qBlue(c) > 240;
}
}  // namespace

class CPlanDockTest : public QObject {
    Q_OBJECT
private:
    std::string m_text;
    long m_caretLine = 0;
    std::vector<size_t> m_wentTo;  // lines the plan put the caret on
    std::unique_ptr<CPlanDock> m_dock;

    // A 248 x 248 plan (24 pixels margin) shows the triangle at 2 pixels a
    // metre: A at (24, 174), B at (224, 174), C at (24, 74).
    void Show(const std::string& text) {
        m_text = text;
        m_dock->Refresh();
        QCoreApplication::processEvents();
    }
    QImage Picture() { return m_dock->Canvas()->grab().toImage(); }

private slots:
    void init() {
        m_wentTo.clear();
        m_caretLine = 0;
        CPlanSource source;
        source.text = [this] { return m_text; };
        source.caretLine = [this] { return m_caretLine; };
        source.goToLine = [this](size_t line) { m_wentTo.push_back(line); };
        source.title = [] { return QStringLiteral("site.txt"); };
        m_dock = std::make_unique<CPlanDock>(std::move(source));
        m_dock->Canvas()->setFixedSize(248, 248);
        m_dock->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dock.get()));
    }
    void cleanup() { m_dock.reset(); }

    void pointsLandNorthUpAtEqualScale() {
        Show(kTriangle);
        QCOMPARE(m_dock->FoundText(), U("TERV210 · 3 点"));
        const QImage picture = Picture();
        // The corners carry the points; where south up or swapped axes would
        // put one stays white.
        for (QPoint at : {QPoint(24, 174), QPoint(224, 174), QPoint(24, 74)})
            QVERIFY(!IsWhite(picture.pixel(at)));
        for (QPoint at : {QPoint(224, 74), QPoint(74, 224), QPoint(124, 124)})
            QVERIFY(IsWhite(picture.pixel(at)));
        // A text without coordinates says so and draws nothing.
        Show("just some words\r\n1,2\r\n");
        QCOMPARE(m_dock->FoundText(), U("没有坐标数据"));
        QVERIFY(IsWhite(Picture().pixel(24, 174)));
    }

    void pickingMovesTheCaretAndTheCaretMarksItsPoint() {
        Show(std::string("title line\r\n") + kTriangle);  // A, B, C on lines 1, 2, 3
        CPlanCanvas* canvas = m_dock->Canvas();
        const QString tip = canvas->ToolTipAt(QPointF(221, 176));
        QCOMPARE(tip, U("点名 B\n编码 KZ\nE 1100.000\nN 5000.000\nZ 2.000"));
        QVERIFY(canvas->ToolTipAt(QPointF(124, 124)).isEmpty());
        QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(222, 171));
        QCOMPARE(canvas->Selected(), size_t{1});
        QCOMPARE(m_wentTo, std::vector<size_t>{2});
        // A click on empty ground keeps the choice; a drag pans and picks nothing.
        QTest::mouseClick(canvas, Qt::LeftButton, {}, QPoint(124, 124));
        QCOMPARE(canvas->Selected(), size_t{1});
        QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(24, 74));
        QTest::mouseMove(canvas, QPoint(64, 94));
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(64, 94));
        QCOMPARE(m_wentTo.size(), size_t{1});
        QCOMPARE(canvas->PointAt(QPointF(64, 94)), size_t{2});  // C moved with the ground
        QVERIFY(!canvas->ShowsAll());
        canvas->FitAll();
        // The caret on C's line marks C: a blue ring around it.
        m_dock->CaretMoved(3);
        QCOMPARE(canvas->Selected(), size_t{2});
        const QRgb ring = Picture().pixel(24 + 8, 74);
        QVERIFY2(qBlue(ring) > 200 && qRed(ring) < 120, qPrintable(QString::number(ring, 16)));
        m_dock->CaretMoved(0);  // the title line has no point
        QCOMPARE(canvas->Selected(), CPlanModel::npos);
    }

    void checklistHoldsZeroDuplicateAndUnreadLines() {
        Show(
            "P1,KZ,1000,5000,1\r\n"
            "P2,KZ,0,0,0\r\n"
            "P1,KZ,1010,5010,1\r\n"
            "P4,KZ,abc,5000,1\r\n"
            "P5,KZ,0,0,0.001\r\n");
        QAbstractItemModel* rows = m_dock->CheckList()->model();
        QStringList shown;
        for (int row = 0; row < rows->rowCount(); ++row)
            shown << rows->index(row, 0).data().toString();
        QCOMPARE(shown, (QStringList{U("第1行  P1  重复点名"), U("第2行  P2  零点 0,0,0"),
                                     U("第3行  P1  重复点名"), U("第4行  无法读取")}));
        m_dock->OpenCheckRow(1);
        QCOMPARE(m_dock->Canvas()->Selected(), size_t{1});
        m_dock->OpenCheckRow(3);
        QCOMPARE(m_wentTo, (std::vector<size_t>{1, 3}));
    }

    void svgHoldsEveryPointWhereThePlanHasIt() {
        // 500 points on a 7 x 11 m lattice (25 x 20) with two codes; all in sight.
        std::string text;
        for (int i = 0; i < 500; ++i)
            text += "P" + std::to_string(i) + (i % 3 ? ",FENCE," : ",TREE,") +
                    std::to_string(500000 + (i % 25) * 7) + "," +
                    std::to_string(3400000 + (i / 25) * 11) + ",10\r\n";
        Show(text);
        const std::string svg = m_dock->FileBytes(EPlanFile::kSvg);
        QXmlStreamReader xml(QByteArray::fromStdString(svg));
        std::vector<QPointF> centres;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) continue;
            if (xml.name() == u"circle")
                centres.emplace_back(xml.attributes().value("cx").toDouble(),
                                     xml.attributes().value("cy").toDouble());
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        // Every point, and the legend's two swatches.
        QCOMPARE(centres.size(), size_t{502});
        // One scale both ways: every point's shape on a node of the lattice,
        // each node taken once.
        const auto [minX, maxX] = std::minmax_element(centres.begin(), centres.begin() + 500,
                                                      [](auto a, auto b) { return a.x() < b.x(); });
        const double scale = (maxX->x() - minX->x()) / (24 * 7);
        double top = 1e300;
        for (size_t k = 0; k < 500; ++k) top = std::min(top, centres[k].y());
        std::set<std::pair<long, long>> nodes;
        for (size_t k = 0; k < 500; ++k) {
            const double e = (centres[k].x() - minX->x()) / scale,
                         s = (centres[k].y() - top) / scale;
            const long column = std::lround(e / 7), row = std::lround(s / 11);
            QVERIFY(std::abs(e - 7 * column) < 0.01 && std::abs(s - 11 * row) < 0.01 && row < 20);
            nodes.emplace(column, row);
        }
        QCOMPARE(nodes.size(), size_t{500});

        // The raster and paper files are what their names say.
        QImage png;
        QVERIFY(
            png.loadFromData(QByteArray::fromStdString(m_dock->FileBytes(EPlanFile::kPng)), "PNG"));
        QVERIFY(m_dock->FileBytes(EPlanFile::kPdf).rfind("%PDF", 0) == 0);
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("printed.pdf"));
        QVERIFY(m_dock->PrintOn(printer));
        QVERIFY(ReadAll(dir.filePath("printed.pdf")).rfind("%PDF", 0) == 0);
    }

    void exportWritesWholeFilesAndSaysWhyNot() {
        Show(kTriangle);
        QTemporaryDir dir;
        QString answer;
        QStringList messages;
        SetFileDialogHook([&](bool, const QString&) { return answer; });
        SetMessageHook([&](const QString& text, EButtons) {
            messages << text;
            return EAnswer::Ok;
        });
        answer = dir.filePath("plan");  // the kind's suffix is added
        QVERIFY(m_dock->ExportFile(EPlanFile::kSvg));
        QVERIFY(ReadAll(dir.filePath("plan.svg")).rfind("<?xml", 0) == 0);
        answer = dir.filePath("missing/plan.png");
        QVERIFY(!m_dock->ExportFile(EPlanFile::kPng));
        QVERIFY(QFile::link(dir.filePath("kept.pdf"), dir.filePath("link.pdf")));
        WriteAll(dir.filePath("kept.pdf"), "old");
        answer = dir.filePath("link.pdf");
        QVERIFY(!m_dock->ExportFile(EPlanFile::kPdf));
        // A FIFO nobody reads would hold the window: refused at once.
        QVERIFY(mkfifo(QFile::encodeName(dir.filePath("pipe.png")).constData(), 0600) == 0);
        answer = dir.filePath("pipe.png");
        QVERIFY(!m_dock->ExportFile(EPlanFile::kPng));
        answer.clear();  // cancelled: nothing said
        QVERIFY(!m_dock->ExportFile(EPlanFile::kPdf));
        SetFileDialogHook({});
        SetMessageHook({});
        QCOMPARE(messages.size(), 3);
        QCOMPARE(messages[0], U("导出失败!\n") + dir.filePath("missing/plan.png") +
                                  U(": No such file or directory"));
        QVERIFY(messages[1].startsWith(U("导出失败!\n") + dir.filePath("link.pdf") + ": "));
        QCOMPARE(ReadAll(dir.filePath("kept.pdf")), std::string("old"));
        QVERIFY(messages[2].startsWith(U("导出失败!\n") + dir.filePath("pipe.png") + ": "));
    }
};

QTEST_MAIN(CPlanDockTest)
#include "PlanDock_qtest.moc"
