#include "YearRegistry.h"

#include "Calendar.h"
#include "DataStore.h"
#include "EveryYearRule.h"
#include "InvalidArgument.h"
#include "YearDocument.h"

#include <string>
#include <vector>

namespace {

int keyOf(int month, int day)
{
    return EveryYearRemovals::keyOf(month, day);
}

int keyOf(const RedDayRecord& entry)
{
    return keyOf(entry.m_stDate.wMonth, entry.m_stDate.wDay);
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

    loadEveryYear();
    const std::weak_ptr<bool> alive = m_alive;
    std::shared_ptr<YearDocument> document(new YearDocument(m_store, year), [this, alive](YearDocument* d) {
        if (alive.lock())
            release(d);
        delete d;
    });
    report(document->load(m_defaults));
    reconcileFlags(*document);
    mergeEveryYear(*document);
    connect(document.get(), &YearDocument::everyYearEdited, this,
            [this, d = document.get()](int dayIndex) { everyYearEdited(*d, dayIndex); });
    m_open[year] = document;
    return document;
}

void YearRegistry::loadEveryYear()
{
    if (m_everyYearLoaded)
        return;
    m_everyYearLoaded = true;
    const StoreResult loaded = m_store.loadForeverRedDays(m_everyYear);
    m_everyYearUnread = loaded.leftUnread;
    // A damaged file's bytes are kept (or left alone); what is written back is what can be used.
    if (loaded.status == StoreResult::Status::Damaged && !loaded.leftUnread) {
        dropUnusableEveryYearEntries();
        m_everyYearChanged = true;
    }
    if (!m_everyYearUnread)
        m_removals.load(m_store.everyYearRemovalsPath(), m_everyYear);
    report(loaded);
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
    const bool edited = document.isUnsaved();
    const StoreResult result = document.save();
    report(result);
    if (edited && result.ok())
        emit saved(document.year());
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
    // A file that could not be read is replaced only for what the user did, not for what years brought in.
    if (!m_everyYearLoaded || !m_everyYearChanged || (m_everyYearUnread && m_sessionEdits.empty()))
        return true;
    const QString path = m_store.foreverRedDaysPath();
    QString keptAs;
    if (m_everyYearUnread) {
        // Its entries are still on disk: one failed read is no damage, so try again before replacing it.
        QString reason;
        if (!rereadEveryYear(reason) && !moveUnreadEveryYearAside(keptAs))
            return false;
        if (!keptAs.isEmpty()) {
            StoreResult told;
            told.status = StoreResult::Status::Damaged;
            told.path = path;
            // Its own reason: the report of the first failed read must not hide this one.
            told.reason = QStringLiteral("it could not be read twice: %1").arg(reason);
            told.keptAs = keptAs;
            told.message = QStringLiteral("The file %1 could not be read again (%2). It was moved aside to "
                                          "%3; the red days that repeat every year set in this session are "
                                          "saved in its place.")
                               .arg(path, reason, keptAs);
            report(told);
        }
    }
    StoreResult result = m_store.saveForeverRedDays(m_everyYear);
    if (!result.ok() && !keptAs.isEmpty() && DataStore::moveBackAfterFailedSave(keptAs, result))
        m_everyYearUnread = true;
    report(result);
    if (!result.ok())
        return false;
    m_everyYearChanged = false;
    const StoreResult removals = m_removals.save(m_store.everyYearRemovalsPath(), m_everyYear);
    report(removals);
    return removals.ok();
}

bool YearRegistry::rereadEveryYear(QString& reason)
{
    ForeverRedDays onDisk;
    const StoreResult again = m_store.loadForeverRedDays(onDisk);
    if (again.leftUnread) {
        reason = again.reason;
        return false;
    }
    report(again);
    m_everyYearUnread = false;
    m_everyYear = std::move(onDisk);
    if (again.status == StoreResult::Status::Damaged)
        dropUnusableEveryYearEntries();
    m_removals.load(m_store.everyYearRemovalsPath(), m_everyYear);
    const auto edits = m_sessionEdits;
    for (const auto& [key, entry] : edits)
        putEveryYear(key, entry);
    // The entries read late reach the years already open, as they would have at their opening.
    for (const auto& document : openDocuments())
        mergeEveryYear(*document);
    return true;
}

bool YearRegistry::moveUnreadEveryYearAside(QString& keptAs)
{
    const StoreResult aside = DataStore::moveUnreadFileAside(m_store.foreverRedDaysPath());
    if (!aside.ok()) {
        report(aside);
        return false;
    }
    m_everyYearUnread = false;
    keptAs = aside.keptAs;
    return true;
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
    EveryYearRule::forEachPlacement(document.data(), m_everyYear,
                                    [&document](int d, const RedDayRecord& entry, const QByteArray& text) {
                                        document.placeEveryYearDay(d, entry, text);
                                    });
}

std::optional<QByteArray> YearRegistry::replaceInList(int key, const std::optional<Entry>& entry)
{
    // Rebuilt with this month and day's entry replaced, added in month-and-day order, or removed.
    ForeverRedDays next;
    std::optional<QByteArray> removed;
    bool placed = false;
    const auto& days = m_everyYear.m_foreverRedDays;
    const auto& texts = m_everyYear.m_foreverRedTexts;
    const auto place = [&] {
        if (entry && !placed) {
            next.m_foreverRedDays.append(entry->first);
            next.m_foreverRedTexts.append(entry->second);
        }
        placed = true;
    };
    for (qsizetype i = 0; i < days.count(); ++i) {
        const QByteArray text = i < texts.count() ? texts.at(i) : QByteArray();
        if (keyOf(days.at(i)) >= key)
            place();
        if (keyOf(days.at(i)) == key) {
            if (!removed)
                removed = text;
            continue;
        }
        next.m_foreverRedDays.append(days.at(i));
        next.m_foreverRedTexts.append(text);
    }
    place();
    m_everyYear = std::move(next);
    return removed;
}

std::optional<QByteArray> YearRegistry::putEveryYear(int key, const std::optional<Entry>& entry)
{
    const std::optional<QByteArray> removed = replaceInList(key, entry);
    if (entry)
        m_removals.drop(key);
    else if (removed)
        m_removals.add(key, *removed);
    m_everyYearChanged = true;
    return removed;
}

void YearRegistry::reconcileFlags(YearDocument& document)
{
    const YearData& data = document.data();
    const int year = document.year();
    for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= Calendar::daysInMonth(year, month); ++day) {
            const int d = Calendar::dayOfYear(year, month, day);
            // A flagged day repeats whatever its text, also an empty one.
            if (!document.holdsDay(d) || data.m_redDays.at(d).m_bEveryYear == 0)
                continue;
            const int key = keyOf(month, day);
            bool known = false;
            for (const RedDayRecord& entry : m_everyYear.m_foreverRedDays)
                known = known || keyOf(entry) == key;
            if (known)
                continue;
            if (m_removals.contains(key)) {
                // Removed since this year was saved.
                const auto [record, text] = EveryYearRule::afterRemoval(
                    data.m_redDays.at(d), data.m_redTexts.at(d), m_removals.textOf(key));
                document.placeEveryYearDay(d, record, text);
                continue;
            }
            RedDayRecord record = data.m_redDays.at(d);
            record.m_stDate.wMonth = std::uint16_t(month);
            record.m_stDate.wDay = std::uint16_t(day);
            putEveryYear(key, Entry{record, data.m_redTexts.at(d)});
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
    const int key = keyOf(month, day);
    std::optional<Entry> entry;
    if (record.m_bEveryYear != 0) {
        // Keyed by the day it was set on, whatever date an older record carried.
        RedDayRecord stored = record;
        stored.m_stDate.wMonth = std::uint16_t(month);
        stored.m_stDate.wDay = std::uint16_t(day);
        entry = Entry{stored, text};
    }
    m_sessionEdits[key] = entry;
    const std::optional<QByteArray> removed = putEveryYear(key, entry);
    // Removed while the file's entries are unknown: the year's text is what such an entry placed.
    const QByteArray removedText = removed ? *removed : text;
    if (!entry)
        m_removals.add(key, removedText);
    spreadEveryYear(&source, key, entry, removedText);
    saveEveryYear();
}

void YearRegistry::spreadEveryYear(const YearDocument* source, int key, const std::optional<Entry>& entry,
                                   const QByteArray& removedText)
{
    for (const auto& other : openDocuments()) {
        const int d = Calendar::dayOfYear(other->year(), key / 100, key % 100);
        if (other.get() == source || d <= 0 || !other->holdsDay(d))
            continue;
        const YearData& data = other->data();
        if (entry) {
            if (!EveryYearRule::isOwnRedDay(data, d))
                other->placeEveryYearDay(d, entry->first, entry->second);
        } else if (data.m_redDays.at(d).m_bEveryYear != 0) {
            // The copy the removed entry had placed there goes with it; another text stays, unflagged.
            RedDayRecord plain = data.m_redDays.at(d);
            plain.m_bEveryYear = 0;
            const bool copy = data.m_redTexts.at(d) == removedText;
            other->placeEveryYearDay(d, copy ? RedDayRecord{} : plain,
                                     copy ? QByteArray() : data.m_redTexts.at(d));
        }
    }
}
