#include "FontSizeCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024; // a few dozen entries; anything larger is not ours
constexpr int kFormat = 1;

} // namespace

FontSizeCache& FontSizeCache::instance()
{
    static FontSizeCache cache;
    return cache;
}

void FontSizeCache::load(const QString& path)
{
    QMutexLocker lock(&m_mutex);
    m_path = path;
    m_sizes.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFileBytes)
        return;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value(QLatin1String("format")).toInt() != kFormat)
        return;
    const QJsonObject sizes = root.value(QLatin1String("sizes")).toObject();
    for (auto it = sizes.begin(); it != sizes.end(); ++it) {
        const int size = it.value().toInt();
        if (size > 0)
            m_sizes.insert(it.key(), size);
    }
}

int FontSizeCache::pixelSize(const QString& key, const std::function<bool(int)>& fits,
                             const std::function<int()>& compute)
{
    {
        QMutexLocker lock(&m_mutex);
        const auto found = m_sizes.constFind(key);
        if (found != m_sizes.cend() && fits(*found)) {
            m_unverified.insert(key, compute);
            return *found;
        }
    }
    const int size = compute();
    QMutexLocker lock(&m_mutex);
    if (m_sizes.value(key) != size) {
        m_sizes.insert(key, size);
        save();
    }
    return size;
}

bool FontSizeCache::verify()
{
    QMutexLocker lock(&m_mutex);
    bool changed = false;
    for (auto it = m_unverified.cbegin(); it != m_unverified.cend(); ++it) {
        const int size = it.value()();
        changed = changed || m_sizes.value(it.key()) != size;
        m_sizes.insert(it.key(), size);
    }
    m_unverified.clear();
    if (changed)
        save();
    return changed;
}

void FontSizeCache::save() const
{
    // Only a speed-up: a cache that cannot be written is simply not there next time.
    if (m_path.isEmpty() || !QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return;
    QJsonObject sizes;
    for (auto it = m_sizes.cbegin(); it != m_sizes.cend(); ++it)
        sizes.insert(it.key(), it.value());
    QSaveFile file(m_path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(
            QJsonDocument(QJsonObject{{QLatin1String("format"), kFormat}, {QLatin1String("sizes"), sizes}})
                .toJson(QJsonDocument::Compact));
        file.commit();
    }
}
