#include "YearSearch.h"

#include "Calendar.h"
#include "DataStore.h"
#include "TextCodec.h"

#include <QDir>
#include <QFileInfo>

#include <map>
#include <set>

YearSearch::YearSearch(QString yearsDir) : m_yearsDir(std::move(yearsDir)) {}

void YearSearch::refresh()
{
    std::set<int> seen;
    const QFileInfoList files = QDir(m_yearsDir).entryInfoList({QStringLiteral("*.year")}, QDir::Files);
    for (const QFileInfo& file : files) {
        bool isNumber = false;
        const int year = file.completeBaseName().toInt(&isNumber);
        // Only a year's own name: "2026", not "02026" or the defaults and every-year files.
        if (!isNumber || year < Calendar::kFirstYear || year > Calendar::kLastYear ||
            QString::number(year) != file.completeBaseName())
            continue;
        seen.insert(year);
        auto known = m_years.find(year);
        if (known != m_years.end() && known->second.size == file.size() &&
            known->second.modified == file.lastModified())
            continue;
        Year read = YearSearch::read(file.filePath(), year);
        read.size = file.size();
        read.modified = file.lastModified();
        m_years[year] = std::move(read);
    }
    std::erase_if(m_years, [&](const auto& y) { return !seen.contains(y.first); });
}

YearSearch::Year YearSearch::read(const QString& path, int year)
{
    YearData data;
    data.m_settings.m_stSelected = Calendar::makeDate(year, 1, 1);
    const StoreResult result = DataStore::inspectYearFile(path, data, DisplaySettings{});
    Year y;
    if (!result.ok())
        y.damage = result.reason.isEmpty() ? result.message : result.reason;
    auto add = [&y](int dayIndex, FindHit::Field field, const QByteArray& bytes) {
        if (bytes.isEmpty())
            return;
        const QString text = TextCodec::decode(bytes);
        y.entries.append({dayIndex, field, text, text.toCaseFolded()});
    };
    // Each project is listed at its first day in this year (1 January when it starts before or elsewhere).
    std::multimap<int, qsizetype> projectsByDay;
    for (qsizetype p = 0; p < data.m_names.count(); ++p) {
        int day = 1;
        if (p < data.m_projects.count()) {
            const SYSTEMTIME& start = data.m_projects.at(p).m_stStart;
            if (start.wYear == year && Calendar::isValidDate(year, start.wMonth, start.wDay))
                day = Calendar::dayOfYear(year, start.wMonth, start.wDay);
        }
        projectsByDay.emplace(day, p);
    }
    const int days = Calendar::isLeapYear(year) ? 366 : 365;
    y.entries.reserve(3 * days + data.m_names.count());
    auto project = projectsByDay.cbegin();
    // Built in the order of the list: by day, then memo, red day, alarm and projects. A damaged file's
    // lists may be short: each is read as far as it holds.
    for (int d = 1; d <= days; ++d) {
        if (d < data.m_memos.count())
            add(d, FindHit::Field::Memo, data.m_memos.at(d));
        if (d < data.m_redTexts.count())
            add(d, FindHit::Field::RedDay, data.m_redTexts.at(d));
        if (d < data.m_alarmTexts.count())
            add(d, FindHit::Field::Alarm, data.m_alarmTexts.at(d));
        for (; project != projectsByDay.cend() && project->first == d; ++project)
            add(d, FindHit::Field::Project, data.m_names.at(project->second));
    }
    return y;
}

QList<FindHit> YearSearch::find(const QString& text) const
{
    QList<FindHit> hits;
    const QString needle = text.toCaseFolded();
    if (needle.isEmpty())
        return hits;
    for (const auto& [year, y] : m_years) {
        for (const Entry& e : y.entries) {
            if (!e.folded.contains(needle))
                continue;
            const SYSTEMTIME date = Calendar::dateOfDayOfYear(year, e.dayIndex);
            hits.append({year, date.wMonth, date.wDay, e.field, e.text});
        }
    }
    return hits;
}

QStringList YearSearch::damagedYears() const
{
    QStringList damaged;
    for (const auto& [year, y] : m_years)
        if (!y.damage.isEmpty())
            damaged.append(QStringLiteral("%1: %2").arg(year).arg(y.damage));
    return damaged;
}
