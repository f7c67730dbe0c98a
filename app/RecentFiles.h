#pragma once

#include <QStringList>

// The recent-file list of ten entries kept in the settings of the organisation "Quillmoor". Files opened
// with Ctrl+O or from the command line go to its top; no menu shows it.
class RecentFiles
{
public:
    static constexpr int kSize = 10;

    // Reads the list from the settings.
    RecentFiles();

    const QStringList& files() const { return m_files; }
    void add(const QString& path);
    // Writes the list (at exit, with the other settings).
    void save() const;

private:
    QStringList m_files;
};
