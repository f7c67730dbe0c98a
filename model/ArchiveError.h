#pragma once

#include <QString>
#include <QtGlobal>

#include <stdexcept>

// A data file that is shorter than its counts claim, or holds a value the format does not allow. Carries
// the byte offset of the item where reading stopped and the reason, for the message shown to the user.
class ArchiveError : public std::runtime_error
{
public:
    ArchiveError(qsizetype offset, const QString& reason)
        : std::runtime_error(QStringLiteral("at byte %1: %2").arg(offset).arg(reason).toStdString()),
          m_offset(offset), m_reason(reason)
    {
    }

    qsizetype offset() const { return m_offset; }
    const QString& reason() const { return m_reason; }
    // "at byte 1544: ..."
    QString describe() const { return QString::fromStdString(what()); }

private:
    qsizetype m_offset;
    QString m_reason;
};
