#include "view/RecentFileList.h"

#include <QFileInfo>
#include <QSettings>

#include "view/DocStrings.h"

CRecentFileList::CRecentFileList(const QString& applicationName) : m_application(applicationName) {
    QSettings settings(QString::fromUtf8(doctext::kSettingsOrganisation), m_application);
    settings.beginGroup(doctext::kRecentGroup);
    for (int i = 1; i <= kSize; ++i) {
        const QString path = settings.value(QString("File%1").arg(i)).toString();
        if (!path.isEmpty() && !m_files.contains(path)) m_files.append(path);
    }
}

void CRecentFileList::Add(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(absolute);
    m_files.prepend(absolute);
    while (m_files.size() > kSize) m_files.removeLast();
    Save();
}

void CRecentFileList::Remove(int index) {
    if (index < 0 || index >= m_files.size()) return;
    m_files.removeAt(index);
    Save();
}

void CRecentFileList::Save() const {
    QSettings settings(QString::fromUtf8(doctext::kSettingsOrganisation), m_application);
    settings.beginGroup(doctext::kRecentGroup);
    for (int i = 1; i <= kSize; ++i) {
        const QString key = QString("File%1").arg(i);
        if (i <= m_files.size())
            settings.setValue(key, m_files.at(i - 1));
        else
            settings.remove(key);
    }
}
