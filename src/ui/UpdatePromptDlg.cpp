#include "ui/UpdatePromptDlg.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>

#include "edit/EditState.h"
#include "ui/DialogButtons.h"
#include "ui/EditUi.h"

CUpdatePromptDlg::CUpdatePromptDlg(const char* caption, const char* question, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromUtf8(caption));
    auto* frame = new QGroupBox(this);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(new QLabel(QString::fromUtf8(question), frame));
    m_pDontShow = new QCheckBox(QString::fromUtf8("不再显示该对话框"), this);
    const COkCancel buttons = MakeOkCancel(*this, ButtonPlace::kRowRight);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame, 1);
    layout->addWidget(m_pDontShow);
    layout->addLayout(buttons.layout);
    connect(m_pDontShow, &QCheckBox::toggled, this, [this](bool checked) {
        m_bDontShow = checked;
        if (checked) g_bNoUpdatePrompt = true;  // unticking does not bring the prompt back
    });
    ApplyDialogFrame(*this, QString::fromUtf8("宋体"), 10, 187, 94);
}

CUpdateDataDlg::CUpdateDataDlg(QWidget* parent)
    : CUpdatePromptDlg("更新数据", "要更新坐标列表吗？", parent) {}

CUpdateCodeDlg::CUpdateCodeDlg(QWidget* parent)
    : CUpdatePromptDlg("更新编码", "要更新编码列表吗？", parent) {}
