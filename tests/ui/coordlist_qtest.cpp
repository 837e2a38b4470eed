// Coordinate list editing: format mapping, round trip, row bookkeeping,
// the update prompt and the write-back into the view.
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTableView>
#include <QtTest>

#include "edit/EditListText.h"
#include "edit/RecordTables.h"
#include "edit_qtest_support.h"
#include "ui/CoordFormatDlg.h"
#include "ui/CoordListDlg.h"
#include "ui/UpdatePromptDlg.h"

namespace {

void ChooseFormat(CEditHarness& h, bool terv210) {
    h.ThenOn<CCoordFormatDlg>([terv210](CCoordFormatDlg& dialog) {
        QVERIFY(dialog.Terv810Radio()->isChecked());
        if (terv210) QTest::mouseClick(dialog.Terv210Radio(), Qt::LeftButton);
        dialog.accept();
    });
}

// Fills the five fields of an add or edit dialog by what the user types.
void Type(CCoordDataDlg& dialog, const char* name, const char* e, const char* n, const char* z,
          const char* code) {
    const std::pair<int, const char*> fields[] = {{kFieldName, name},
                                                  {kFieldEast, e},
                                                  {kFieldNorth, n},
                                                  {kFieldHeight, z},
                                                  {kFieldCode, code}};
    for (auto [field, text] : fields) {
        dialog.FieldEdit(field)->clear();
        TypeText(dialog.FieldEdit(field), U(text));
    }
}

}  // namespace

class CCoordListTest : public QObject {
    Q_OBJECT
private slots:
    void EditAddAndRoundTripPerFormat() {
        // Chinese names, a byte that is not code page 936, empty fields and blanks
        // come back byte for byte beside an edited row and an added one.
        const std::string rest =
            "\xB5\xE3"
            "1,100.000,-200.5, 3.25 ,\xB1\xE0\xC2\xEB\r\n"
            "P\xFF,,0,0,a b\r\n12345678901234,E,N,Z,CODE\r\n";
        // In the TERV210 order the second column is the code and the fifth the height.
        const struct {
            bool terv210;
            const char *code, *height, *edited, *added;
        } cases[] = {{false, "C1", "3.0", "A,9.5,2.0,3.0,K7\r\n", "B,10,20,30,K\r\n"},
                     {true, "1.0", "C1", "A,K7,9.5,2.0,3.0\r\n", "B,K,10,20,30\r\n"}};
        for (const auto& c : cases) {
            CEditHarness h;
            h.m_view = "A,1.0,2.0,3.0,C1\r\n" + rest;
            ChooseFormat(h, c.terv210);
            h.ThenOn<CCoordListDlg>([&h, &c](CCoordListDlg& list) {
                QCOMPARE(list.Cell(1, 0), U("点1"));
                h.ThenOn<CEditDataDlg>([&c](CEditDataDlg& edit) {
                    QCOMPARE(edit.FieldEdit(kFieldCode)->text(), QString(c.code));
                    QCOMPARE(edit.FieldEdit(kFieldHeight)->text(), QString(c.height));
                    Type(edit, "A", "9.5", "2.0", "3.0", "K7");
                    edit.accept();
                });
                list.OnEdit();  // the current row is 0 when the list opens
                h.ThenOn<CAddDataDlg>([](CAddDataDlg& add) {
                    Type(add, "B", "10", "20", "30", "K");
                    add.accept();
                });
                list.OnAdd();
                h.ThenAccept();  // update prompt
                list.accept();
            });
            RunCoordListEditing(h.View(), nullptr);
            h.Expect(1, c.edited + rest + c.added);
        }
    }

    void AddEditDeleteBookkeeping() {
        CEditHarness h;
        h.m_view = "R0,1,2,3,C\r\nR1,1,2,3,C\r\nR2,1,2,3,C\r\n";
        g_nEditFormat = kTerv810Order;
        LoadCoordRecords(h.m_view, g_nEditFormat);
        CCoordListDlg list(h.View());
        list.OnDelete();  // deletes row 0 at once
        QCOMPARE(list.Cell(0, 0), QString("R1"));
        QCOMPARE(g_nListRows, 2);
        // The last row, deleted twice: removed once, the counter follows the rows.
        list.List()->selectRow(1);
        list.OnClickList();
        list.OnDelete();
        list.OnDelete();
        QCOMPARE(list.RowCount(), 1);
        QCOMPARE(g_nListRows, 1);
        // The next add goes after the remaining row, and the current row becomes 0.
        h.ThenOn<CAddDataDlg>([](CAddDataDlg& add) {
            Type(add, "N", "4", "5", "6", "D");
            add.accept();
        });
        list.OnAdd();
        QCOMPARE(g_nListRows, 2);
        QCOMPARE(g_nCurRow, 0);
        QCOMPARE(list.SelectionMark(), 0);
        // Edit with no current row opens empty and changes nothing.
        list.List()->clearSelection();
        list.OnClickList();
        h.ThenOn<CEditDataDlg>([](CEditDataDlg& edit) {
            QVERIFY(edit.FieldEdit(kFieldName)->text().isEmpty());
            Type(edit, "X", "1", "1", "1", "X");
            edit.accept();
        });
        list.OnEdit();
        list.OnDelete();  // nothing to delete either
        QCOMPARE(list.ListText(), std::string("R1,1,2,3,C\r\nN,4,5,6,D\r\n"));
        QCOMPARE(g_nListRows, 2);
        // A cancelled edit changes nothing.
        list.List()->selectRow(1);
        list.OnClickList();
        h.ThenOn<CEditDataDlg>([](CEditDataDlg& edit) {
            Type(edit, "Y", "1", "1", "1", "Y");
            edit.reject();
        });
        list.OnEdit();
        QCOMPARE(list.ListText(), std::string("R1,1,2,3,C\r\nN,4,5,6,D\r\n"));
        h.Expect(0, "R0,1,2,3,C\r\nR1,1,2,3,C\r\nR2,1,2,3,C\r\n");
    }

    void ClicksPickTheRow() {
        CEditHarness h;
        g_nEditFormat = kTerv810Order;
        LoadCoordRecords("R0,1,2,3,C\r\nR1,1,2,3,C\r\n", g_nEditFormat);
        CCoordListDlg list(h.View());
        list.resize(600, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QWidget* viewport = list.List()->viewport();
        const QPoint row1 = list.List()->visualRect(list.List()->model()->index(1, 0)).center();
        QTest::mouseClick(viewport, Qt::LeftButton, {}, row1);
        QCOMPARE(g_nCurRow, 1);
        // Double-click on a row edits it.
        h.ThenOn<CEditDataDlg>([](CEditDataDlg& edit) {
            QCOMPARE(edit.FieldEdit(kFieldName)->text(), QString("R1"));
            edit.reject();
        });
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, row1);
        QVERIFY(h.AllAnswered());
        // A click below the rows picks none.
        const QPoint empty(10, viewport->height() - 5);
        QVERIFY(list.List()->rowAt(empty.y()) < 0);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, empty);
        QCOMPARE(g_nCurRow, -1);
        list.hide();
    }

    void AddDialogChecksAndLimits() {
        CEditHarness h;
        g_nEditFormat = kTerv810Order;
        LoadCoordRecords("", g_nEditFormat);
        CCoordListDlg list(h.View());
        QCOMPARE(list.RowCount(), 0);
        CAddDataDlg add(&list);
        Type(add, "", "1", "2", "3", "C");
        add.accept();
        QCOMPARE(h.m_messages, QStringList({U("点名为空!")}));
        QCOMPARE(add.result(), int(QDialog::Rejected));
        Type(add, "P", "1", "2", "3", "");
        add.accept();
        QCOMPARE(h.m_messages.last(), U("编码为空!"));
        QCOMPARE(list.RowCount(), 0);
        // Coordinates are not checked; fields hold at most 14 bytes and no comma.
        Type(
            add, "ABCDEFGHIJKLMNOPQ", "", "1,5", "",
            "\xE7\xBC\x96\xE7\xA0\x81\xE7\xBC\x96\xE7\xA0\x81\xE7\xBC\x96\xE7\xA0\x81\xE7\xBC\x96");
        QCOMPARE(add.FieldEdit(kFieldName)->text(), QString("ABCDEFGHIJKLMN"));
        QCOMPARE(add.FieldEdit(kFieldNorth)->text(), QString("15"));
        QCOMPARE(add.FieldEdit(kFieldCode)->text(), U("编码编码编码编"));
        add.accept();
        QCOMPARE(add.result(), int(QDialog::Accepted));
        QCOMPARE(list.ListText(),
                 std::string("ABCDEFGHIJKLMN,,15,,") +
                     "\xB1\xE0\xC2\xEB\xB1\xE0\xC2\xEB\xB1\xE0\xC2\xEB\xB1\xE0\r\n");
    }

    void PromptAndWriteBackReplaceTheView() {
        // A header without commas or LF line ends leave no row to count.
        ExpectNoRows(
            [](CEditHarness& h) {
                ChooseFormat(h, false);
                RunCoordListEditing(h.View(), nullptr);
            },
            {"HEADER\r\nP,1,2,3,C\r\n", "P,1,2,3,C\nQ,1,2,3,C\n"}, "不是有效的TERV210格式!");

        CEditHarness h;
        // A long cell and an unterminated last line go.
        h.m_view = "POINTNAMEISTOOLONG,1,2,3,C\r\nLAST,1,2,3,C";
        ChooseFormat(h, false);
        h.ThenOn<CCoordListDlg>([&h](CCoordListDlg& list) {
            QCOMPARE(list.RowCount(), 1);
            QCOMPARE(list.Cell(0, 0), QString("POINTNAMEISTOO"));
            // Tick "don't show again", then cancel: the list stays open, nothing written.
            h.ThenOn<CUpdateDataDlg>([](CUpdateDataDlg& prompt) {
                QTest::mouseClick(prompt.DontShowBox(), Qt::LeftButton);
                QTest::mouseClick(prompt.DontShowBox(), Qt::LeftButton);  // unticking keeps it set
                prompt.reject();
            });
            list.accept();
            QCOMPARE(list.result(), int(QDialog::Rejected));
            QCOMPARE(h.m_writes, 0);
            QVERIFY(g_bNoUpdatePrompt);
            list.accept();  // no prompt now, written at once
            QCOMPARE(list.result(), int(QDialog::Accepted));
        });
        RunCoordListEditing(h.View(), nullptr);
        h.Expect(1, "POINTNAMEISTOO,1,2,3,C\r\n");
    }

    void CancelKeepsTheView() {
        CEditHarness h;
        h.m_view = "A,1,2,3,C\r\n";
        ChooseFormat(h, false);
        h.ThenOn<CCoordListDlg>([](CCoordListDlg& list) {
            list.OnDelete();
            QCOMPARE(list.RowCount(), 0);
            list.reject();
        });
        RunCoordListEditing(h.View(), nullptr);
        h.Expect(0, "A,1,2,3,C\r\n");
    }
};

QTEST_MAIN(CCoordListTest)
#include "coordlist_qtest.moc"
