#include "ui/CoordFormatDlg.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QRadioButton>

#include "edit/EditState.h"
#include "ui/DialogButtons.h"
#include "ui/EditUi.h"

CCoordFormatDlg::CCoordFormatDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("坐标编辑格式"));
    auto* group = new QGroupBox(QString::fromUtf8("请选择坐标编辑格式"), this);
    m_pTerv210 = new QRadioButton(QString::fromUtf8("TERV210格式坐标编辑"), group);
    m_pTerv810 = new QRadioButton(QString::fromUtf8("TERV810格式坐标编辑"), group);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(m_pTerv210);
    groupLayout->addWidget(m_pTerv810);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(MakeOkCancel(*this, ButtonPlace::kColumn).layout);

    g_nEditFormat = kTerv810Order;
    m_pTerv810->setChecked(true);
    connect(m_pTerv210, &QRadioButton::toggled, this, [](bool on) {
        if (on) g_nEditFormat = kTerv210Order;
    });
    connect(m_pTerv810, &QRadioButton::toggled, this, [](bool on) {
        if (on) g_nEditFormat = kTerv810Order;
    });
    ApplyDialogFrame(*this, QString::fromUtf8("宋体"), 10, 180, 86);
}
