// The program's own help reader: contents on the left, the page on the right,
// links and back/forward. It needs no viewer on the desktop.
#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

class QListWidget;
class QTextBrowser;
class QUrl;

struct HelpPage {
    QString file;   // name inside the help folder
    QString title;  // the page's <title>, or its file name
};

// Folders that may hold the pages, in the order they are tried: next to the
// program (build tree), then the install prefix's share folder.
QStringList HelpSearchDirs();
// Tests search elsewhere; an empty list restores the default.
void SetHelpSearchDirs(const QStringList& dirs);

// Every regular *.html file of dir in file-name order, with its title.
QList<HelpPage> ReadHelpContents(const QString& dir);
// The first search folder with at least one page; empty when none has one.
QString FindHelpDir();

class CHelpWindow : public QMainWindow {
    Q_OBJECT
public:
    CHelpWindow(const QString& dir, const QList<HelpPage>& pages, QWidget* parent = nullptr);

    const QString& Dir() const { return m_dir; }
    QListWidget* Contents() const { return m_contents; }
    QTextBrowser* Browser() const { return m_browser; }
    // File name of the page shown.
    QString CurrentPage() const;
    void ShowPage(const QString& file);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnLink(const QUrl& url);
    void FollowSource();

    QString m_dir;
    QList<HelpPage> m_pages;
    QListWidget* m_contents = nullptr;
    QTextBrowser* m_browser = nullptr;
};
