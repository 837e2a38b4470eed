// Shared parts of the editing dialogs.
#include "ui/EditUi.h"

#include <QDialog>
#include <QFont>
#include <QFontMetrics>

#include "ui/ViewText.h"

namespace {
EditDialogRunner& DialogRunner() {
    static EditDialogRunner runner;
    return runner;
}
}  // namespace

void SetEditDialogRunner(EditDialogRunner runner) {
    DialogRunner() = std::move(runner);
}

int RunEditDialog(QDialog& dialog) {
    if (DialogRunner()) return DialogRunner()(dialog);
    return dialog.exec();
}

void ApplyDialogFrame(QDialog& dialog, const QString& family, int pointSize, int widthDlu,
                      int heightDlu) {
    QFont font(family, pointSize);
    dialog.setFont(font);
    // Dialog units: a quarter of the average character width, an eighth of the height.
    const QFontMetrics metrics(font);
    const int width = widthDlu * metrics.averageCharWidth() / 4;
    const int height = heightDlu * metrics.height() / 8;
    dialog.resize(width, height);
}

CFieldValidator::CFieldValidator(int maxBytes, QObject* parent)
    : QValidator(parent), m_maxBytes(maxBytes) {}

QValidator::State CFieldValidator::validate(QString& input, int& /*pos*/) const {
    if ((!m_bAllowComma && input.contains(QLatin1Char(','))) || input.contains(QLatin1Char('\r')) ||
        input.contains(QLatin1Char('\n')))
        return Invalid;
    return static_cast<int>(EncodeViewText(input).size()) <= m_maxBytes ? Acceptable : Invalid;
}

std::string CellBytes(const QString& cell) {
    return EncodeViewText(cell);
}
QString CellText(std::string_view bytes) {
    return DecodeViewText(bytes);
}
