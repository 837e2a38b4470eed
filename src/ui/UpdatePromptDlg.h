// The update prompts of the two lists. Ticking "不再显示该对话框" sets the shared
// g_bNoUpdatePrompt at once, whatever button closes the prompt.
#pragma once

#include <QDialog>

class QCheckBox;

class CUpdatePromptDlg : public QDialog {
    Q_OBJECT
public:
    QCheckBox* DontShowBox() const { return m_pDontShow; }
    bool m_bDontShow = false;

protected:
    CUpdatePromptDlg(const char* caption, const char* question, QWidget* parent);

private:
    QCheckBox* m_pDontShow = nullptr;
};

class CUpdateDataDlg : public CUpdatePromptDlg {
    Q_OBJECT
public:
    explicit CUpdateDataDlg(QWidget* parent = nullptr);
};

class CUpdateCodeDlg : public CUpdatePromptDlg {
    Q_OBJECT
public:
    explicit CUpdateCodeDlg(QWidget* parent = nullptr);
};
