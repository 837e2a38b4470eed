#include "ui/CrsChoiceDlg.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "geo/GridCrs.h"
#include "ui/MessageSeam.h"

namespace {

CrsChoiceHook g_hook;

// The definition behind what the box shows: a listed grid's code, else the text.
QString Definition(const QComboBox& box) {
    const QString text = box.currentText().trimmed();
    for (const CUsualGrid& grid : UsualGrids())
        if (text == QString::fromStdString(grid.label)) return QString::fromStdString(grid.crs);
    return text;
}

class CCrsChoiceDlg : public QDialog {
public:
    CCrsChoiceDlg(QWidget* parent, const QString& last) : QDialog(parent) {
        setWindowTitle(QString::fromUtf8(crstext::kTitle));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QString::fromUtf8(crstext::kPrompt), this));
        m_box = new QComboBox(this);
        m_box->setObjectName("CrsChoice");
        m_box->setEditable(true);
        m_box->setInsertPolicy(QComboBox::NoInsert);
        m_box->setMinimumContentsLength(48);
        for (const CUsualGrid& grid : UsualGrids())
            m_box->addItem(QString::fromStdString(grid.label));
        // The last choice again: its listed name, or the text as it was typed.
        int index = -1;
        for (size_t i = 0; i < UsualGrids().size(); ++i)
            if (QString::fromStdString(UsualGrids()[i].crs) == last) index = static_cast<int>(i);
        if (index >= 0)
            m_box->setCurrentIndex(index);
        else
            m_box->setEditText(last);
        layout->addWidget(m_box);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        connect(buttons, &QDialogButtonBox::accepted, this, &CCrsChoiceDlg::Check);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        layout->addWidget(buttons);
    }
    QString Chosen() const { return m_chosen; }

private:
    // Only a CRS PROJ knows closes the dialog; the reason is shown otherwise.
    void Check() {
        const QString definition = Definition(*m_box);
        if (definition.isEmpty()) {
            ShowMessageBox(this, QString::fromUtf8(crstext::kEmpty));
            return;
        }
        std::string message;
        if (!CGridCrs::Open(definition.toStdString(), &message)) {
            ShowMessageBox(this, QString::fromStdString(message));
            return;
        }
        m_chosen = definition;
        accept();
    }

    QComboBox* m_box = nullptr;
    QString m_chosen;
};

}  // namespace

std::optional<QString> AskExportCrs(QWidget* parent, const QString& last) {
    if (g_hook) return g_hook(last);
    CCrsChoiceDlg dialog(parent, last);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Chosen();
}

void SetCrsChoiceHook(CrsChoiceHook hook) {
    g_hook = std::move(hook);
}
