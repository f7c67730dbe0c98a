#pragma once

#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// The pixel sizes found for the fonts given by cell height, kept from one run to the next. Finding one
// takes three or four font engines (a probe, the size, the size above it), and a year window's first paint
// needs three such fonts. A size read back is used at once when it still fits, and checked in full by
// verify() once the window shows: a font installed or removed since may change the answer.
class FontSizeCache
{
public:
    // The one the planner's fonts go through. Empty, and kept in memory only, until load() names a file.
    static FontSizeCache& instance();

    // Reads `path`; a missing or unreadable file is an empty cache. Later changes are saved there.
    void load(const QString& path);

    // The size `compute` finds for `key`, or the remembered one where `fits` takes it.
    int pixelSize(const QString& key, const std::function<bool(int)>& fits,
                  const std::function<int()>& compute);

    // Computes again every size that was taken on trust, and saves what changed. True when any did: fonts
    // made before then are a pixel off and should be made again.
    bool verify();

private:
    void save() const;

    mutable QMutex m_mutex;
    QString m_path;
    QHash<QString, int> m_sizes;
    // Taken on trust in this run, with how to check them.
    QHash<QString, std::function<int()>> m_unverified;
};
