// The grid choice of the exports: the last choice offered again, a listed grid
// given back as its EPSG code, and only a CRS PROJ knows closing the dialog.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QtTest>

#include "ui/CrsChoiceDlg.h"
#include "ui/MessageSeam.h"

class CrsChoiceTest : public QObject {
    Q_OBJECT
    QTemporaryDir m_cache;

    // Runs the dialog; `act` acts on it once it shows.
    static std::optional<QString> Ask(const QString& last, std::function<void(QDialog*)> act) {
        QTimer::singleShot(0, [act] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) {
                    act(dialog);
                    return;
                }
        });
        return AskExportCrs(nullptr, last);
    }
    static void Ok(QDialog* dialog) {
        dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    }

private slots:
    // PROJ's pipelines are kept in the test's folder, not the user's.
    void initTestCase() { qputenv("XDG_CACHE_HOME", m_cache.path().toUtf8()); }

    void choosesListedTypedOrNothing() {
        QStringList messages;
        SetMessageHook([&](const QString& text, EButtons) {
            messages << text;
            return EAnswer::Ok;
        });
        // The last choice is shown by its name and given back as its code.
        auto chosen = Ask("EPSG:4547", [](QDialog* d) {
            QVERIFY(d->findChild<QComboBox*>()->currentText().contains("114°E"));
            Ok(d);
        });
        QCOMPARE(chosen.value_or("cancelled"), QString("EPSG:4547"));
        // Something PROJ does not know keeps the dialog open with the reason;
        // a PROJ string typed in is taken as it is.
        chosen = Ask("", [](QDialog* d) {
            auto* box = d->findChild<QComboBox*>();
            box->setEditText("EPSG:999999");
            Ok(d);
            QVERIFY(d->isVisible());
            box->setEditText("+proj=tmerc +lon_0=117 +x_0=500000 +ellps=GRS80");
            Ok(d);
        });
        QCOMPARE(messages, QStringList{QString::fromUtf8("未知的坐标系!\nEPSG:999999")});
        QCOMPARE(chosen.value_or("cancelled"),
                 QString("+proj=tmerc +lon_0=117 +x_0=500000 +ellps=GRS80"));
        chosen = Ask("", [](QDialog* d) { d->reject(); });
        QVERIFY(!chosen);
        SetMessageHook({});
    }
};

QTEST_MAIN(CrsChoiceTest)
#include "CrsChoice_qtest.moc"
