// The recent-file list of the File menu, kept in the per-user settings.
#pragma once

#include <QString>
#include <QStringList>

class CRecentFileList {
public:
    static constexpr int kSize = 4;

    // Reads the list of the given application under the fixed organisation.
    explicit CRecentFileList(const QString& applicationName);

    const QStringList& Files() const { return m_files; }
    // Puts the path first; an entry already in the list moves up.
    void Add(const QString& path);
    void Remove(int index);

private:
    void Save() const;

    QString m_application;
    QStringList m_files;
};
