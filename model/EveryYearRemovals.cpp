#include "EveryYearRemovals.h"

#include "DurableFile.h"
#include "ForeverRedDaysFileCodec.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QList>

namespace {

const QByteArray kHeader = "Tolva every-year removals 1";
const QByteArray kFingerprint = "fingerprint ";
// A record never comes near this: one line per month and day.
constexpr qint64 kMaxRecordSize = qint64(1) << 20;

} // namespace

QByteArray EveryYearRemovals::fingerprintOf(const ForeverRedDays& everyYear)
{
    return QCryptographicHash::hash(ForeverRedDaysFileCodec::encode(everyYear), QCryptographicHash::Sha256)
        .toHex();
}

QByteArray EveryYearRemovals::textOf(int key) const
{
    const auto it = m_removed.find(key);
    return it == m_removed.end() ? QByteArray() : it->second;
}

QByteArray EveryYearRemovals::encode(const QByteArray& fingerprint) const
{
    QByteArray out = kHeader + '\n' + kFingerprint + fingerprint + '\n';
    for (const auto& [key, text] : m_removed)
        out += QByteArray::number(key / 100).rightJustified(2, '0') + '-' +
               QByteArray::number(key % 100).rightJustified(2, '0') + " =" + text.toHex() + '\n';
    return out;
}

bool EveryYearRemovals::decode(const QByteArray& bytes, QByteArray& fingerprint)
{
    m_removed.clear();
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.size() < 3 || lines.at(0) != kHeader || !lines.at(1).startsWith(kFingerprint) ||
        !lines.last().isEmpty())
        return false;
    fingerprint = lines.at(1).mid(kFingerprint.size());
    for (qsizetype i = 2; i + 1 < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        bool monthOk = false;
        bool dayOk = false;
        const int month = line.left(2).toInt(&monthOk);
        const int day = line.mid(3, 2).toInt(&dayOk);
        const QByteArray hex = line.mid(7);
        if (line.size() < 7 || line.at(2) != '-' || line.mid(5, 2) != " =" || !monthOk || !dayOk ||
            month < 1 || month > 12 || day < 1 || day > 31 ||
            QByteArray::fromHex(hex).toHex() != hex.toLower()) {
            m_removed.clear();
            return false;
        }
        m_removed[keyOf(month, day)] = QByteArray::fromHex(hex);
    }
    return true;
}

bool EveryYearRemovals::load(const QString& path, const ForeverRedDays& current)
{
    m_removed.clear();
    QByteArray bytes;
    QString reason;
    if (DurableFile::read(path, kMaxRecordSize, bytes, reason) != DurableFile::Read::Done)
        return false;
    QByteArray fingerprint;
    if (!decode(bytes, fingerprint) || fingerprint != fingerprintOf(current)) {
        m_removed.clear();
        return false;
    }
    return true;
}

StoreResult EveryYearRemovals::save(const QString& path, const ForeverRedDays& written) const
{
    if (m_removed.empty() && !QFileInfo(path).isSymLink() && !QFileInfo::exists(path)) {
        StoreResult nothing;
        nothing.path = path;
        return nothing;
    }
    return DurableFile::write(path, encode(fingerprintOf(written)));
}
