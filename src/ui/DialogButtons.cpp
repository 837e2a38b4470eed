#include "ui/DialogButtons.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

COkCancel MakeOkCancel(QDialog& dialog, ButtonPlace place, std::function<void()> onOk) {
    COkCancel buttons;
    buttons.ok = new QPushButton(QString::fromUtf8("确定"), &dialog);
    buttons.ok->setObjectName(QStringLiteral("ctl1"));
    buttons.ok->setDefault(true);
    buttons.cancel = new QPushButton(QString::fromUtf8("取消"), &dialog);
    buttons.cancel->setObjectName(QStringLiteral("ctl2"));
    buttons.cancel->setAutoDefault(false);
    if (onOk)
        QObject::connect(buttons.ok, &QPushButton::clicked, &dialog, std::move(onOk));
    else
        QObject::connect(buttons.ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(buttons.cancel, &QPushButton::clicked, &dialog, &QDialog::reject);

    if (place == ButtonPlace::kColumn)
        buttons.layout = new QVBoxLayout;
    else
        buttons.layout = new QHBoxLayout;
    if (place == ButtonPlace::kRowRight) buttons.layout->addStretch();
    buttons.layout->addWidget(buttons.ok);
    buttons.layout->addWidget(buttons.cancel);
    if (place == ButtonPlace::kColumn) buttons.layout->addStretch();
    return buttons;
}
