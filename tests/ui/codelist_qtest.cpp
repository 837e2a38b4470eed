// Code list editing, the update prompt flag shared with the coordinate list,
// and the prism correction dialog.
#include <QCheckBox>
#include <QLineEdit>
#include <QTableView>
#include <QtTest>

#include "edit/EditListText.h"
#include "edit/RecordTables.h"
#include "edit_qtest_support.h"
#include "ui/CodeListDlg.h"
#include "ui/CoordListDlg.h"
#include "ui/PrismCorrectDlg.h"
#include "ui/UpdatePromptDlg.h"

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
    void RoundTripCutsAndRefusal() {
        // GBK codes come back byte for byte (the cuts of longer fields are the
        // list text's, proved in the edit tests).
        CEditHarness h;
        h.m_view = "001,AB\r\n002,\xB1\xE0\xC2\xEB\r\n";
        h.ThenOn<CCodeListDlg>([&h](CCodeListDlg& list) {
            QCOMPARE(list.Cell(1, 1), U("编码"));
            h.ThenAccept();
            list.accept();
        });
        RunCodeListEditing(h.View(), nullptr);
        h.Expect(1, "001,AB\r\n002,\xB1\xE0\xC2\xEB\r\n");
        // Typing stops at the field widths.
        CCodeListDlg list(h.View());
        CAddCodeDlg add(&list);
        Type(add, "12345", "ABCDEFGHIJKLMN");
        QCOMPARE(add.NumberEdit()->text(), QString("123"));
        QCOMPARE(add.CodeEdit()->text(), QString("ABCDEFGHIJ"));
        // Two commas on a line, LF line ends: not one row, but data all the same.
        ExpectNoRows([](CEditHarness& h) { RunCodeListEditing(h.View(), nullptr); },
                     {"001,AB,X\r\n002,CD\r\n", "001,AB\n002,CD\n"}, "不是有效的210 PCODE格式!");
    }

    void AddEditDeleteBookkeeping() {
        CEditHarness h;
        LoadCodeRecords("001,A\r\n002,B\r\n003,C\r\n");
        CCodeListDlg list(h.View());
        // Edit at once edits row 0; empty fields are refused with their messages.
        h.ThenOn<CEditCodeDlg>([](CEditCodeDlg& edit) {
            QCOMPARE(edit.CodeEdit()->text(), QString("A"));
            Type(edit, "", "X");
            edit.accept();
            Type(edit, "9", "");
            edit.accept();
            Type(edit, "010", "AA");
            edit.accept();
        });
        list.OnEdit();
        QCOMPARE(h.m_messages, QStringList({U("点名为空!"), U("编码为空!")}));
        // Deleting is the lists' common code: the coordinate list test pins it.
        list.List()->selectRow(2);
        list.OnClickList();
        list.OnDelete();
        h.ThenOn<CAddCodeDlg>([](CAddCodeDlg& add) {
            Type(add, "004", "D");
            add.accept();
        });
        list.OnAdd();
        QCOMPARE(g_nCurRow, 0);
        QCOMPARE(g_nListRows, 3);
        // Edit with no current row changes nothing (row 0 included).
        list.List()->clearSelection();
        list.OnClickList();
        h.ThenOn<CEditCodeDlg>([](CEditCodeDlg& edit) {
            QVERIFY(edit.NumberEdit()->text().isEmpty());
            Type(edit, "999", "Z");
            edit.accept();
        });
        list.OnEdit();
        QCOMPARE(list.ListText(), std::string("010,AA\r\n002,B\r\n004,D\r\n"));
        h.Expect(0, "");
    }

    void PromptFlagIsSharedWithCoordinates() {
        CEditHarness h;
        h.m_view = "001,AB\r\n";
        h.ThenOn<CCodeListDlg>([&h](CCodeListDlg& list) {
            h.ThenOn<CUpdateCodeDlg>([](CUpdateCodeDlg& prompt) {
                QTest::mouseClick(prompt.DontShowBox(), Qt::LeftButton);
                prompt.accept();
            });
            list.accept();
        });
        RunCodeListEditing(h.View(), nullptr);
        QVERIFY(g_bNoUpdatePrompt);
        // The coordinate list now writes back without its prompt too.
        h.m_view = "P,1,2,3,C\r\nextra\r\n";
        h.ThenAccept();  // format
        h.ThenOn<CCoordListDlg>([](CCoordListDlg& list) { list.accept(); });
        RunCoordListEditing(h.View(), nullptr);
        h.Expect(2, "P,1,2,3,C\r\n");
    }

    void PrismDialogCorrectsOrKeepsTheView() {
        // The constants are typed in millimetres.
        CEditHarness h;
        h.m_view = "P1,C1,3,4,12\r\nQ,K,0,0,0";
        {
            CPrismCorrectDlg dialog(h.View());
            TypeText(dialog.OldConstEdit(), "-13000");
            TypeText(dialog.NewConstEdit(), "13000");
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
        // Cancel changes nothing either.
        h.ThenOn<CPrismCorrectDlg>([](CPrismCorrectDlg& dialog) {
            TypeText(dialog.NewConstEdit(), "5");
            dialog.reject();
        });
        RunPrismCorrection(h.View(), nullptr);
        h.Expect(0, bad);
    }
};

QTEST_MAIN(CCodeListTest)
#include "codelist_qtest.moc"
