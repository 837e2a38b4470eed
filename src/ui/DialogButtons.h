// The 确定/取消 pair that ends the program's dialogs, made in one place.
#pragma once

#include <functional>

class QBoxLayout;
class QDialog;
class QPushButton;

// Where the pair stands: a row (packed left, or pushed to the right) or a
// column at the top of the dialog's side.
enum class ButtonPlace { kRow, kRowRight, kColumn };

struct COkCancel {
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
    QBoxLayout* layout = nullptr;  // holds the two; the caller places it
};

// 确定 ("ctl1", the dialog's IDOK) is the default button and runs onOk, or
// accepts the dialog when onOk is empty; 取消 ("ctl2", IDCANCEL) rejects it and
// does not take Enter.
COkCancel MakeOkCancel(QDialog& dialog, ButtonPlace place, std::function<void()> onOk = {});
