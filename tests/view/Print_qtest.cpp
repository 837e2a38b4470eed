// Printing: every character of the text lands on exactly one page line, the
// preview opens on its first page at once and stops counting when it is
// closed, and printing puts out the pages asked for.
#include <QPrinter>
#include <QtTest>
#include <climits>
#include <string>

#include "base/Bounds.h"
#include "ui/EditUi.h"
#include "ui/ViewText.h"
#include "view/CommunicationView.h"
#include "view/PrintLayout.h"
#include "view/PrintPreviewDlg.h"

namespace {
const QRectF kPaper(0, 0, 1000, 1400);
const QRectF kArea(50, 50, 900, 1300);

CPrintLayout Layout(const std::string& bytes) {
    return CPrintLayout(bytes, QFont(QStringLiteral("DejaVu Sans"), 10), kPaper, kArea, 72);
}

// Every line printed, page after page.
QStringList Printed(CPrintLayout& layout) {
    layout.LayOutUpTo(INT_MAX);
    QStringList lines;
    for (int page = 0; page < layout.PageCount(); ++page)
        for (const QString& line : layout.PageLines(page)) lines << line;
    return lines;
}

std::string Lines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "P" + std::to_string(i) + ",C,1.000,2.000,3.000\r\n";
    return text;
}

int PdfPages(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    return static_cast<int>(file.readAll().count("/Type /Page\n"));
}
}  // namespace

class CPrintTest : public QObject {
    Q_OBJECT
private slots:
    void everyCharacterIsPrintedOnce();
    void previewOpensAtOnceAndCanBeCancelled();
    void printsThePagesAsked();
};

void CPrintTest::everyCharacterIsPrintedOnce() {
    const int perPage = Layout("").LinesPerPage();
    QVERIFY(perPage > 10);
    // Whole pages of lines: a final line end opens no page of its own.
    CPrintLayout full = Layout(Lines(2 * perPage));
    QCOMPARE(Printed(full).size(), 2 * perPage);
    QCOMPARE(full.PageCount(), 2);
    CPrintLayout more = Layout(Lines(2 * perPage) + "last");
    QCOMPARE(Printed(more).last(), QString("last"));
    QCOMPARE(more.PageCount(), 3);
    // Every kind of line end breaks a line, once.
    CPrintLayout ends = Layout("a\nb\rc\r\nd\r\n\r\ne");
    QCOMPARE(Printed(ends), (QStringList{"a", "b", "c", "d", "", "e"}));

    // Lines wider than the page: broken, nothing lost or repeated; after a
    // blank where there is one, between ideographs, anywhere in one long word.
    const struct {
        std::string line;
        bool blanks;
    } wide[] = {{std::string(20000, 'x'), false},
                {[] {
                     std::string s;
                     for (int i = 0; i < 3000; ++i) s += "word" + std::to_string(i % 10) + " ";
                     return s;
                 }(),
                 true},
                {[] {
                     std::string s;
                     for (int i = 0; i < 5000; ++i) s += "\xB5\xE3";  // 点
                     return s;
                 }(),
                 false},
                {std::string(3000, '\t') + std::string(3000, '\x02') + "\x81\xFF", false}};
    for (const auto& c : wide) {
        CPrintLayout layout = Layout(c.line + "\r\nnext");
        const QStringList lines = Printed(layout);
        QVERIFY(lines.size() > 3);
        QCOMPARE(lines.last(), QString("next"));
        QCOMPARE(lines.mid(0, lines.size() - 1).join(QString()), DecodeViewText(c.line));
        for (qsizetype i = 0; i + 2 < lines.size(); ++i) {
            QVERIFY(!lines[i].isEmpty());
            if (c.blanks) QVERIFY(lines[i].back() == ' ' && lines[i + 1].front() != ' ');
        }
        QVERIFY(layout.PageCount() >= 1);
    }
}

void CPrintTest::previewOpensAtOnceAndCanBeCancelled() {
    // A text at the open bound: thousands of pages.
    std::string text;
    while (text.size() + 40 < kMaxTextBytes) text += "P12345,C1,1234.567,5678.901,12.345\r\n";
    CCommunicationView view;
    view.SetBytes(text);
    QString seen;
    SetEditDialogRunner([&seen](QDialog& dialog) {
        auto* preview = qobject_cast<CPrintPreviewDlg*>(&dialog);
        if (!preview) return static_cast<int>(QDialog::Rejected);
        // Open on the first page, the next one known, the others still being counted.
        preview->show();
        seen = QString("%1 %2 ").arg(preview->IsCounting()).arg(preview->Layout().IsComplete());
        preview->NextPage();
        seen += preview->PageText().section(QChar(0xFF0C), 0, 0);
        preview->reject();  // 关闭 while counting
        return preview->result();
    });
    view.OnFilePrintPreview();
    SetEditDialogRunner({});
    QCOMPARE(seen, QString("1 0 第 2 页"));

    // Closing stops the counting: nothing is laid out afterwards.
    QPrinter printer(QPrinter::HighResolution);
    CPrintPreviewDlg preview(text, view.font(), printer);
    QVERIFY(preview.IsCounting());
    QCOMPARE(preview.Layout().PageCount(), 2);
    preview.reject();
    QVERIFY(!preview.IsCounting());
    for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
    QCOMPARE(preview.Layout().PageCount(), 2);

    // Left open, the count fills in and agrees with a layout made at once.
    CPrintPreviewDlg counting(Lines(2000), view.font(), printer);
    QVERIFY(counting.IsCounting());
    QTRY_VERIFY(!counting.IsCounting());
    CPrintLayout all(Lines(2000), view.font(), printer);
    all.LayOutUpTo(INT_MAX);
    QVERIFY(all.PageCount() > 2);
    QCOMPARE(counting.Layout().PageCount(), all.PageCount());
    QCOMPARE(counting.PageText(), QString("第 1 页，共 %1 页").arg(all.PageCount()));
}

void CPrintTest::printsThePagesAsked() {
    QTemporaryDir dir;
    const std::string text = Lines(3000);
    const struct { int from, to, pages; } cases[] = {{0, 0, -1}, {2, 3, 2}, {4, 4, 1}};
    for (const auto& c : cases) {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString path = dir.filePath(QString("out%1.pdf").arg(c.from));
        printer.setOutputFileName(path);
        printer.setFromTo(c.from, c.to);
        CPrintLayout layout(text, QFont(), printer);
        QVERIFY(PrintLayoutPages(layout, printer, nullptr));
        layout.LayOutUpTo(INT_MAX);
        QVERIFY(layout.PageCount() > 4);
        QCOMPARE(PdfPages(path), c.pages < 0 ? layout.PageCount() : c.pages);
    }
}

QTEST_MAIN(CPrintTest)
#include "Print_qtest.moc"
