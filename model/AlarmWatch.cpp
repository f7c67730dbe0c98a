#include "AlarmWatch.h"

#include "AlarmCheck.h"
#include "Calendar.h"
#include "Clock.h"
#include "DataStore.h"
#include "InvalidArgument.h"
#include "YearDocument.h"
#include "YearRegistry.h"

#include <QDateTime>
#include <QFileInfo>

AlarmWatch::AlarmWatch(YearRegistry& registry, const Clock& clock, QObject* parent)
    : QObject(parent), m_registry(registry), m_clock(clock)
{
    m_timer.setInterval(kPeriodMs);
    connect(&m_timer, &QTimer::timeout, this, &AlarmWatch::check);
    m_timer.start();
}

AlarmWatch::~AlarmWatch()
{
    m_held.reset();
}

QString AlarmWatch::fileStamp(int year) const
{
    const QFileInfo file(m_registry.store().yearPath(year));
    if (!file.exists())
        return QString();
    return QString::number(file.size()) + QLatin1Char('@') + file.lastModified().toString(Qt::ISODateWithMs);
}

void AlarmWatch::letGo(int year)
{
    m_held.reset();
    // Letting go may save the year: that is no change to look at again.
    m_lookedAtYear = year;
    m_lookedAtStamp = fileStamp(year);
}

// The current year's document while it has a pending alarm, else null.
YearDocument* AlarmWatch::pendingYear(int year)
{
    if (m_held && m_held->year() != year)
        letGo(m_held->year());
    YearDocument* document = m_held ? m_held.get() : m_registry.find(year);
    if (!document) {
        const QString stamp = fileStamp(year);
        if (stamp.isEmpty() || (year == m_lookedAtYear && stamp == m_lookedAtStamp))
            return nullptr;
        m_lookedAtYear = year;
        m_lookedAtStamp = stamp;
        // A look that changes nothing: no copy of a damaged file, no lock, no write.
        YearData data;
        data.m_settings.m_stSelected = Calendar::makeDate(year, 1, 1);
        DataStore::inspectYearFile(m_registry.store().yearPath(year), data, DisplaySettings{});
        if (!AlarmCheck::hasPending(data))
            return nullptr;
        m_held = m_registry.open(year);
        document = m_held.get();
    }
    if (!AlarmCheck::hasPending(document->data())) {
        letGo(year);
        return nullptr;
    }
    if (!m_held)
        m_held = m_registry.open(year);
    return document;
}

void AlarmWatch::check()
{
    const SYSTEMTIME now = m_clock.nowLocal();
    if (!Calendar::isValidDateTime(now))
        return;
    const int year = now.wYear;
    if (m_shownByWindow && m_shownByWindow(year)) {
        if (m_held)
            letGo(year);
        return;
    }
    try {
        YearDocument* document = pendingYear(year);
        if (!document)
            return;
        const std::optional<int> due = AlarmCheck::firstDue(document->data(), now);
        if (!due)
            return;
        const QString message = AlarmCheck::message(document->data(), *due);
        document->markAlarmFired(*due);
        // Fired is on disk before anyone is told: a crash or a restart never reports it again.
        m_registry.save(*document);
        emit alarmDue(message);
    } catch (const InvalidArgument&) {
        // A damaged year's lists end this check only.
    }
}
