#include "ui/PrismCorrectDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "convert/ConvertMessages.h"
#include "convert/RecordFormats.h"
#include "edit/EditTexts.h"
#include "edit/PrismCorrection.h"
#include "ui/BusyWork.h"
#include "ui/DialogButtons.h"
#include "ui/MessageSeam.h"

CPrismCorrectDlg::CPrismCorrectDlg(CViewTextAccess view, QWidget* parent)
    : QDialog(parent), m_view(std::move(view)) {
    setWindowTitle(QString::fromUtf8("坐标校正"));
    m_pOld = new QLineEdit(this);
    m_pNew = new QLineEdit(this);
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QString::fromUtf8("原棱镜常数："), this), 0, 0);
    grid->addWidget(m_pOld, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("mm"), this), 0, 2);
    grid->addWidget(new QLabel(QString::fromUtf8("新棱镜常数："), this), 1, 0);
    grid->addWidget(m_pNew, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("mm"), this), 1, 2);
    grid->addLayout(MakeOkCancel(*this, ButtonPlace::kRowRight).layout, 2, 0, 1, 3);
    const auto takeFields = [this] {
        m_strOldConst = m_pOld->text();
        m_strNewConst = m_pNew->text();
    };
    connect(m_pOld, &QLineEdit::textChanged, this, takeFields);
    connect(m_pNew, &QLineEdit::textChanged, this, takeFields);
    ApplyDialogFrame(*this, QStringLiteral("System"), 10, 187, 94);
}

void CPrismCorrectDlg::ApplyCorrection() {
    std::string text = m_view.m_get ? m_view.m_get() : std::string();
    const float oldConst = PrismConstantMetres(ParseLeadingDecimal(m_strOldConst.toStdString()));
    const float newConst = PrismConstantMetres(ParseLeadingDecimal(m_strNewConst.toStdString()));
    struct CCorrected {
        PrismResult result = PrismResult::kUnchanged;
        std::string text;
        std::size_t badLine = 0;
    };
    // Off the window's thread: a list at the bound takes a while.
    const auto done = RunOffWindow<CCorrected>(
        this, QString::fromUtf8(edit_text::kCorrecting),
        [text = std::move(text), oldConst, newConst] {
            CCorrected out;
            out.result = CorrectPrismText(text, oldConst, newConst, out.text, &out.badLine);
            return out;
        });
    if (!done) return;  // cancelled: the view stays as it was
    const std::string& corrected = done->text;
    const std::size_t badLine = done->badLine;
    switch (done->result) {
        case PrismResult::kCorrected:
            if (m_view.m_set) m_view.m_set(corrected);
            break;
        case PrismResult::kInvalid: {
            const std::string message = std::string(edit_text::kInvalidRawData) + "\n" +
                                        LineNote(static_cast<int>(badLine));
            ShowMessageBox(this, QString::fromUtf8(message));
            break;
        }
        case PrismResult::kTooLarge:
            ShowMessageBox(this, QString::fromUtf8(convert_msg::kOutOfMemory));
            break;
        case PrismResult::kUnchanged:
            break;
    }
}

void CPrismCorrectDlg::accept() {
    ApplyCorrection();
    QDialog::accept();
}

void RunPrismCorrection(const CViewTextAccess& view, QWidget* parent) {
    CPrismCorrectDlg dialog(view, parent);
    RunEditDialog(dialog);
}
