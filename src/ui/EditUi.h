// What the editing dialogs share: the seam for nested modal dialogs (so tests
// can answer them; messages go through doc/MessageSeam.h), access to the view
// text, the dialog font and size, and the input limits of the fields.
#pragma once

#include <QString>
#include <QValidator>
#include <functional>
#include <string>

class QDialog;
class QWidget;

using EditDialogRunner = std::function<int(QDialog& dialog)>;

// An empty function restores the default: QDialog::exec().
void SetEditDialogRunner(EditDialogRunner runner);

int RunEditDialog(QDialog& dialog);

// How the dialogs read and replace the whole view text (bytes, code page 936).
struct CViewTextAccess {
    std::function<std::string()> m_get;
    std::function<void(const std::string&)> m_set;
};

// Font and size of a dialog given in dialog units of that font.
void ApplyDialogFrame(QDialog& dialog, const QString& family, int pointSize, int widthDlu,
                      int heightDlu);

// Accepts what fits a table field: at most maxBytes of code page 936 and no
// comma or line break (either would shift the columns of the written line).
class CFieldValidator : public QValidator {
public:
    CFieldValidator(int maxBytes, QObject* parent);
    State validate(QString& input, int& pos) const override;
    // For a value read from the view that already holds a comma (the last
    // field of a line may), so that it stays editable.
    void AllowComma() { m_bAllowComma = true; }

private:
    int m_maxBytes;
    bool m_bAllowComma = false;
};

// A cell of the list as bytes of code page 936, and back.
std::string CellBytes(const QString& cell);
QString CellText(std::string_view bytes);
