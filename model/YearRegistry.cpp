#include "YearRegistry.h"

#include "Calendar.h"
#include "DataStore.h"
#include "InvalidArgument.h"
#include "YearDocument.h"

#include <string>
#include <vector>

namespace {

int keyOf(int month, int day)
{
    return month * 100 + day;
}

} // namespace

YearRegistry::YearRegistry(const DataStore& store, const DisplaySettings& defaults, QObject* parent)
    : QObject(parent), m_store(store), m_defaults(defaults), m_alive(std::make_shared<bool>(true))
{
}

YearRegistry::~YearRegistry()
{
    if (!m_open.empty())
        saveAll();
}

std::shared_ptr<YearDocument> YearRegistry::open(int year)
{
    if (year < Calendar::kFirstYear || year > Calendar::kLastYear)
        throwInvalidArgument("year " + std::to_string(year) + " outside 1..9999");
    if (auto it = m_open.find(year); it != m_open.end())
        if (auto document = it->second.lock())
            return document;

    if (!m_everyYearLoaded) {
        m_everyYearLoaded = true;
        const StoreResult loaded = m_store.loadForeverRedDays(m_everyYear);
        m_everyYearUnread = loaded.leftUnread;
        // A damaged file's bytes are kept (or left alone); what is written back is what can be used.
        if (loaded.status == StoreResult::Status::Damaged)
            dropUnusableEveryYearEntries();
        report(loaded);
    }
    const std::weak_ptr<bool> alive = m_alive;
    std::shared_ptr<YearDocument> document(new YearDocument(m_store, year), [this, alive](YearDocument* d) {
        if (alive.lock())
            release(d);
        delete d;
    });
    report(document->load(m_defaults));
    // The years say which red days repeat as much as the file does: a day flagged in a year reaches the
    // file when that year is opened, also one the file has lost or never had.
    adoptEveryYearDays(*document);
    mergeEveryYear(*document);
    connect(document.get(), &YearDocument::everyYearEdited, this,
            [this, d = document.get()](int dayIndex) { everyYearEdited(*d, dayIndex); });
    m_open[year] = document;
    return document;
}

YearDocument* YearRegistry::find(int year) const
{
    const auto it = m_open.find(year);
    return it == m_open.end() ? nullptr : it->second.lock().get();
}

void YearRegistry::release(YearDocument* document)
{
    // Only ours while the map still names it: a reopened year has a new document.
    if (auto it = m_open.find(document->year()); it != m_open.end() && it->second.expired())
        m_open.erase(it);
    save(*document);
    saveEveryYear();
}

bool YearRegistry::save(YearDocument& document)
{
    const StoreResult result = document.save();
    report(result);
    return result.ok();
}

std::vector<std::shared_ptr<YearDocument>> YearRegistry::openDocuments() const
{
    // Held by the caller while it works through them: a save may report a problem, and a message box runs
    // an event loop in which windows can close.
    std::vector<std::shared_ptr<YearDocument>> open;
    for (const auto& [year, weak] : m_open)
        if (auto document = weak.lock())
            open.push_back(std::move(document));
    return open;
}

bool YearRegistry::saveAll()
{
    // The last word before the program ends: every failure is told, also one told before.
    m_reported.clear();
    bool ok = true;
    for (const auto& document : openDocuments())
        ok = save(*document) && ok;
    return saveEveryYear() && ok;
}

bool YearRegistry::saveEveryYear()
{
    if (!m_everyYearLoaded)
        return true;
    if (m_everyYearUnread) {
        // The file holds entries we could not read: keep it until an edit must be saved, then move it
        // aside first.
        if (!m_everyYearEdited)
            return true;
        const StoreResult aside = DataStore::moveUnreadFileAside(m_store.foreverRedDaysPath());
        if (!aside.ok()) {
            report(aside);
            return false;
        }
        m_everyYearUnread = false;
    }
    const StoreResult result = m_store.saveForeverRedDays(m_everyYear);
    report(result);
    return result.ok();
}

void YearRegistry::report(const StoreResult& result)
{
    // A failure is told once; it is told again only after that file was fine in between.
    const QString key = result.path + QLatin1Char('\n') + result.reason;
    if (result.ok()) {
        m_reported.removeIf([&](const QString& k) { return k.startsWith(result.path + QLatin1Char('\n')); });
        return;
    }
    if (m_reported.contains(key))
        return;
    m_reported.insert(key);
    emit problem(result);
}

void YearRegistry::mergeEveryYear(YearDocument& document) const
{
    const int year = document.year();
    const auto& days = m_everyYear.m_foreverRedDays;
    const auto& texts = m_everyYear.m_foreverRedTexts;
    for (qsizetype i = 0; i < days.count(); ++i) {
        const RedDayRecord& entry = days.at(i);
        const int d = Calendar::dayOfYear(year, entry.m_stDate.wMonth, entry.m_stDate.wDay);
        // Entries this year has no day for (29 February in a common year) stay in the list untouched.
        if (d > 0 && document.holdsDay(d))
            document.placeEveryYearDay(d, entry, i < texts.count() ? texts.at(i) : QByteArray());
    }
}

bool YearRegistry::putEveryYear(int month, int day, const RedDayRecord* record, const QByteArray& text,
                                QByteArray* removedText)
{
    // Rebuilt with this month and day's entry replaced, added in month-and-day order, or removed.
    ForeverRedDays next;
    bool removed = false;
    bool placed = false;
    const auto& days = m_everyYear.m_foreverRedDays;
    const auto& texts = m_everyYear.m_foreverRedTexts;
    const int key = keyOf(month, day);
    for (qsizetype i = 0; i < days.count(); ++i) {
        const RedDayRecord& entry = days.at(i);
        const QByteArray entryText = i < texts.count() ? texts.at(i) : QByteArray();
        const int entryKey = keyOf(entry.m_stDate.wMonth, entry.m_stDate.wDay);
        if (record && !placed && entryKey >= key) {
            next.m_foreverRedDays.append(*record);
            next.m_foreverRedTexts.append(text);
            placed = true;
        }
        if (entryKey == key) {
            if (!record && !removed) {
                removed = true;
                if (removedText)
                    *removedText = entryText;
            }
            continue;
        }
        next.m_foreverRedDays.append(entry);
        next.m_foreverRedTexts.append(entryText);
    }
    if (record && !placed) {
        next.m_foreverRedDays.append(*record);
        next.m_foreverRedTexts.append(text);
    }
    if (!record && !removed)
        return false;
    m_everyYear = std::move(next);
    return true;
}

void YearRegistry::adoptEveryYearDays(const YearDocument& document)
{
    const YearData& data = document.data();
    const int year = document.year();
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= Calendar::daysInMonth(year, month); ++day) {
            const int d = Calendar::dayOfYear(year, month, day);
            // A flagged day repeats whatever its text, also an empty one.
            if (!document.holdsDay(d) || data.m_redDays.at(d).m_bEveryYear == 0)
                continue;
            bool known = false;
            for (const RedDayRecord& entry : m_everyYear.m_foreverRedDays)
                known = known || keyOf(entry.m_stDate.wMonth, entry.m_stDate.wDay) == keyOf(month, day);
            if (known)
                continue;
            RedDayRecord record = data.m_redDays.at(d);
            record.m_stDate.wMonth = std::uint16_t(month);
            record.m_stDate.wDay = std::uint16_t(day);
            putEveryYear(month, day, &record, data.m_redTexts.at(d), nullptr);
        }
    }
}

void YearRegistry::dropUnusableEveryYearEntries()
{
    ForeverRedDays usable;
    const auto& days = m_everyYear.m_foreverRedDays;
    const auto& texts = m_everyYear.m_foreverRedTexts;
    for (qsizetype i = 0; i < days.count(); ++i) {
        const RedDayRecord& entry = days.at(i);
        // 2000 is a leap year: every month and day of some year is a date in it.
        if (!Calendar::isValidDate(2000, entry.m_stDate.wMonth, entry.m_stDate.wDay))
            continue;
        usable.m_foreverRedDays.append(entry);
        usable.m_foreverRedTexts.append(i < texts.count() ? texts.at(i) : QByteArray());
    }
    m_everyYear = std::move(usable);
}

void YearRegistry::everyYearEdited(YearDocument& source, int dayIndex)
{
    if (dayIndex < 1 || dayIndex > Calendar::dayOfYear(source.year(), 12, 31))
        return;
    int year = 0;
    int month = 0;
    int day = 0;
    Calendar::dateFromDayNumber(Calendar::dayNumber(source.year(), 1, 1) + dayIndex - 1, year, month, day);
    const RedDayRecord record = source.data().m_redDays.at(dayIndex);
    const QByteArray text = source.data().m_redTexts.at(dayIndex);
    const bool everyYear = record.m_bEveryYear != 0;
    // Keyed by the day it was set on, whatever date an older record carried.
    RedDayRecord stored = record;
    stored.m_stDate.wMonth = std::uint16_t(month);
    stored.m_stDate.wDay = std::uint16_t(day);

    QByteArray removedText;
    if (!putEveryYear(month, day, everyYear ? &stored : nullptr, text, &removedText))
        return;
    m_everyYearEdited = true;

    for (const auto& other : openDocuments()) {
        if (other.get() == &source)
            continue;
        const int d = Calendar::dayOfYear(other->year(), month, day);
        if (d <= 0 || !other->holdsDay(d))
            continue;
        if (everyYear) {
            other->placeEveryYearDay(d, stored, text);
        } else if (other->data().m_redDays.at(d).m_bEveryYear != 0 &&
                   other->data().m_redTexts.at(d) == removedText) {
            // The copy the removed entry had placed there goes with it; a year's own red day stays.
            other->placeEveryYearDay(d, RedDayRecord{}, QByteArray());
        } else {
            continue;
        }
        save(*other);
    }
    saveEveryYear();
}
