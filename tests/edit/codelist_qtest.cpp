// Code list editing, the update prompt flag shared with the coordinate list,
// and the prism correction dialog.
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

#include "edit/CodeListDlg.h"
#include "edit/CoordFormatDlg.h"
#include "edit/CoordListDlg.h"
#include "edit/EditListText.h"
#include "edit/PrismCorrectDlg.h"
#include "edit/RecordTables.h"
#include "edit/UpdatePromptDlg.h"
#include "edit_qtest_support.h"

namespace {

void Type(CCodeDataDlg& dialog, const char* number, const char* code) {
    dialog.NumberEdit()->clear();
    dialog.CodeEdit()->clear();
    TypeText(dialog.NumberEdit(), U(number));
    TypeText(dialog.CodeEdit(), U(code));
}

}  // namespace

class CCodeListTest : public QObject {
    Q_OBJECT
private slots:
    void RoundTripAndLayout();
    void LongFieldsAreCut();
    void AddEditDeleteBookkeeping();
    void EditOnEmptyList();
    void NoRowsInAFullViewIsRefused();
    void PromptFlagIsSharedWithCoordinates();
    void PrismDialogCorrectsOrKeepsTheView();
};

void CCodeListTest::RoundTripAndLayout() {
    CEditHarness h;
    h.m_view = "001,AB\r\n002,\xB1\xE0\xC2\xEB\r\n";
    h.ThenOn<CCodeListDlg>([&h](CCodeListDlg& list) {
        QCOMPARE(list.windowTitle(), U("编码"));
        QCOMPARE(list.List()->horizontalHeaderItem(0)->text(), U("编号"));
        QCOMPARE(list.List()->horizontalHeaderItem(1)->text(), U("编码"));
        QCOMPARE(list.List()->columnWidth(0), 150);
        QCOMPARE(list.List()->columnWidth(1), 200);
        QCOMPARE(list.RowCount(), 2);
        QCOMPARE(list.Cell(1, 0), QString("002"));
        QCOMPARE(list.Cell(1, 1), U("编码"));
        h.ThenOn<CUpdateCodeDlg>([](CUpdateCodeDlg& prompt) {
            QCOMPARE(prompt.windowTitle(), U("更新编码"));
            prompt.accept();
        });
        list.accept();
    });
    RunCodeListEditing(h.View(), nullptr);
    QVERIFY(h.AllAnswered());
    QCOMPARE(h.m_writes, 1);
    QCOMPARE(h.m_view, std::string("001,AB\r\n002,\xB1\xE0\xC2\xEB\r\n"));
    QCOMPARE(g_nCodeCount, 2);
}

void CCodeListTest::LongFieldsAreCut() {
    CEditHarness h;
    // Four-character number, twelve-character code; a double-byte character
    // that would straddle the tenth byte is dropped whole.
    h.m_view = "1234,ABCDEFGHIJKL\r\n7,ABCDEFGHI\xB1\xE0\r\n";
    h.ThenOn<CCodeListDlg>([&h](CCodeListDlg& list) {
        QCOMPARE(list.Cell(0, 0), QString("123"));
        QCOMPARE(list.Cell(0, 1), QString("ABCDEFGHIJ"));
        QCOMPARE(list.Cell(1, 1), QString("ABCDEFGHI"));
        h.ThenAccept();
        list.accept();
    });
    RunCodeListEditing(h.View(), nullptr);
    QVERIFY(h.AllAnswered());
    QCOMPARE(h.m_view, std::string("123,ABCDEFGHIJ\r\n7,ABCDEFGHI\r\n"));
    // Typing stops at the field widths.
    CCodeListDlg list(h.View());
    CAddCodeDlg add(&list);
    Type(add, "12345", "ABCDEFGHIJKLMN");
    QCOMPARE(add.NumberEdit()->text(), QString("123"));
    QCOMPARE(add.CodeEdit()->text(), QString("ABCDEFGHIJ"));
}

void CCodeListTest::AddEditDeleteBookkeeping() {
    CEditHarness h;
    LoadCodeRecords("001,A\r\n002,B\r\n003,C\r\n");
    CCodeListDlg list(h.View());
    QCOMPARE(g_nListRows, 3);
    // Edit at once edits row 0.
    h.ThenOn<CEditCodeDlg>([](CEditCodeDlg& edit) {
        QCOMPARE(edit.windowTitle(), U("编辑编码"));
        QCOMPARE(edit.NumberEdit()->text(), QString("001"));
        QCOMPARE(edit.CodeEdit()->text(), QString("A"));
        Type(edit, "010", "AA");
        edit.accept();
    });
    list.OnEdit();
    // Empty fields are refused with their messages; the number's names the point.
    h.ThenOn<CEditCodeDlg>([](CEditCodeDlg& edit) {
        Type(edit, "", "X");
        edit.accept();
        Type(edit, "9", "");
        edit.accept();
    });
    list.OnEdit();
    QCOMPARE(h.m_messages, QStringList({U("点名为空!"), U("编码为空!")}));
    // Delete the last row twice: one row goes, the counter follows.
    list.List()->selectRow(2);
    list.OnClickList();
    list.OnDelete();
    list.OnDelete();
    QCOMPARE(list.RowCount(), 2);
    QCOMPARE(g_nListRows, 2);
    h.ThenOn<CAddCodeDlg>([](CAddCodeDlg& add) {
        QCOMPARE(add.windowTitle(), U("添加编码"));
        Type(add, "004", "D");
        add.accept();
    });
    list.OnAdd();
    QCOMPARE(g_nCurRow, 0);
    QCOMPARE(g_nListRows, 3);
    // Edit with no current row changes nothing (row 0 included).
    list.List()->clearSelection();
    list.OnClickList();
    QCOMPARE(g_nCurRow, -1);
    h.ThenOn<CEditCodeDlg>([](CEditCodeDlg& edit) {
        QVERIFY(edit.NumberEdit()->text().isEmpty());
        Type(edit, "999", "Z");
        edit.accept();
        QCOMPARE(edit.result(), int(QDialog::Accepted));
    });
    list.OnEdit();
    QCOMPARE(list.ListText(), std::string("010,AA\r\n002,B\r\n004,D\r\n"));
    QVERIFY(h.AllAnswered());
    QCOMPARE(h.m_writes, 0);
}

void CCodeListTest::EditOnEmptyList() {
    CEditHarness h;
    LoadCodeRecords("");
    CCodeListDlg list(h.View());
    QCOMPARE(list.RowCount(), 0);
    h.ThenOn<CEditCodeDlg>([](CEditCodeDlg& edit) {
        QVERIFY(edit.NumberEdit()->text().isEmpty());
        edit.accept();  // "点名为空!", stays open
        QCOMPARE(edit.result(), int(QDialog::Rejected));
        Type(edit, "001", "A");
        edit.accept();
        QCOMPARE(edit.result(), int(QDialog::Accepted));
    });
    list.OnEdit();
    QCOMPARE(h.m_messages, QStringList({U("点名为空!")}));
    QCOMPARE(list.RowCount(), 0);
    QCOMPARE(g_nListRows, 0);
    // The add dialog refuses the same way.
    CAddCodeDlg add(&list);
    Type(add, "", "");
    add.accept();
    Type(add, "5", "");
    add.accept();
    QCOMPARE(h.m_messages, QStringList({U("点名为空!"), U("点名为空!"), U("编码为空!")}));
    QCOMPARE(list.RowCount(), 0);
}

void CCodeListTest::NoRowsInAFullViewIsRefused() {
    // Two commas on a line, LF line ends: not one row, but data all the same.
    // No list opens, so nothing can write an empty list over it.
    for (const char* text : {"001,AB,X\r\n002,CD\r\n", "001,AB\n002,CD\n"}) {
        CEditHarness h;
        h.m_view = text;
        RunCodeListEditing(h.View(), nullptr);
        QVERIFY(h.AllAnswered());
        QCOMPARE(h.m_messages, QStringList{U("不是有效的210 PCODE格式!")});
        QCOMPARE(h.m_writes, 0);
        QCOMPARE(h.m_view, std::string(text));
    }
}

void CCodeListTest::PromptFlagIsSharedWithCoordinates() {
    CEditHarness h;
    h.m_view = "001,AB\r\n";
    h.ThenOn<CCodeListDlg>([&h](CCodeListDlg& list) {
        h.ThenOn<CUpdateCodeDlg>([](CUpdateCodeDlg& prompt) {
            QTest::mouseClick(prompt.DontShowBox(), Qt::LeftButton);
            prompt.accept();
        });
        list.accept();
        QCOMPARE(list.result(), int(QDialog::Accepted));
    });
    RunCodeListEditing(h.View(), nullptr);
    QVERIFY(g_bNoUpdatePrompt);
    QCOMPARE(h.m_view, std::string("001,AB\r\n"));
    // Neither list asks any more: the code list writes back at once...
    h.m_view = "001,AB\r\n002,CD\r\n";
    h.ThenOn<CCodeListDlg>([](CCodeListDlg& list) {
        list.OnDelete();
        list.accept();
    });
    RunCodeListEditing(h.View(), nullptr);
    QCOMPARE(h.m_view, std::string("002,CD\r\n"));
    // ...and the coordinate list writes back without its prompt.
    h.m_view = "P,1,2,3,C\r\nextra\r\n";
    h.ThenAccept();  // format
    h.ThenOn<CCoordListDlg>([](CCoordListDlg& list) { list.accept(); });
    RunCoordListEditing(h.View(), nullptr);
    QCOMPARE(h.m_opened.last(), U("坐标"));
    QVERIFY(h.AllAnswered());
    QCOMPARE(h.m_view, std::string("P,1,2,3,C\r\n"));
}

void CCodeListTest::PrismDialogCorrectsOrKeepsTheView() {
    CEditHarness h;
    h.m_view = "P1,C1,3,4,12\r\nQ,K,0,0,0";
    {
        CPrismCorrectDlg dialog(h.View());
        QCOMPARE(dialog.windowTitle(), U("坐标校正"));
        TypeText(dialog.OldConstEdit(), "-13000");
        TypeText(dialog.NewConstEdit(), "13000");
        QCOMPARE(dialog.m_strNewConst, QString("13000"));
        dialog.accept();
    }
    QCOMPARE(h.m_view, std::string("P1,C1,9.000000,12.000000,36.000000\r\nQ,K,0,0,0"));
    // A bad line: the message names it, the view stays as it was, the dialog closes.
    const std::string bad = "P1,C1,3,4,12\r\nP2,C2,3,4\r\n";
    h.m_view = bad;
    h.m_writes = 0;
    h.ThenOn<CPrismCorrectDlg>([](CPrismCorrectDlg& dialog) {
        TypeText(dialog.NewConstEdit(), "5");
        dialog.accept();
    });
    RunPrismCorrection(h.View(), nullptr);
    QCOMPARE(h.m_messages, QStringList({U("无效原始数据!\n第2行")}));
    QCOMPARE(h.m_writes, 0);
    QCOMPARE(h.m_view, bad);
    // Cancel changes nothing; empty constants only reformat the numbers.
    h.m_view = "Q,K,123.456,0,0\r\n";
    h.ThenOn<CPrismCorrectDlg>([](CPrismCorrectDlg& dialog) {
        TypeText(dialog.NewConstEdit(), "5");
        dialog.reject();
    });
    RunPrismCorrection(h.View(), nullptr);
    QCOMPARE(h.m_writes, 0);
    h.ThenAccept();
    RunPrismCorrection(h.View(), nullptr);
    QCOMPARE(h.m_view, std::string("Q,K,123.456001,0.000000,0.000000\r\n"));
    QVERIFY(h.AllAnswered());
}

QTEST_MAIN(CCodeListTest)
#include "codelist_qtest.moc"
