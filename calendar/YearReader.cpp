#include "YearReader.h"

#include "ArchiveError.h"
#include "Calendar.h"
#include "DataStore.h"
#include "DefaultsFileCodec.h"
#include "EveryYearRule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

YearReader::YearReader(const QString& dir) : m_dir(dir) {}

QString YearReader::yearsDir() const
{
    return QDir(m_dir).filePath(QStringLiteral("YEARS"));
}

bool YearReader::read(int year)
{
    m_problem = StoreResult();
    const QDir years(yearsDir());

    DisplaySettings defaults{};
    StoreResult r =
        DataStore::inspectDefaultsFile(years.filePath(QStringLiteral("YearDefaults.year")), defaults);
    if (!r.ok()) {
        m_problem = r;
        return false;
    }
    r = DataStore::inspectForeverRedDaysFile(years.filePath(QStringLiteral("ForeverRedDays.year")),
                                             m_everyYear);
    if (!r.ok()) {
        m_problem = r;
        return false;
    }

    const QString path = years.filePath(QString::number(year) + QStringLiteral(".year"));
    m_year.reset();
    m_year.m_settings.m_stSelected = Calendar::makeDate(year, 1, 1);
    r = DataStore::inspectYearFile(path, m_year, defaults);
    if (!r.ok()) {
        m_problem = r;
        return false;
    }

    // The load keeps the selection the caller set; the stored one is the first settings record's.
    m_storedSelection = Calendar::makeDate(year, 1, 1);
    m_hasFile = QFileInfo(path).size() > 0;
    if (m_hasFile) {
        QFile file(path);
        try {
            if (file.open(QIODevice::ReadOnly))
                m_storedSelection =
                    DefaultsFileCodec::decode(file.read(DataStore::kMaxFileSize)).m_stSelected;
        } catch (const ArchiveError&) {
            // Read whole a moment ago; a file replaced since keeps 1 January.
        }
        m_storedSelection.wYear = std::uint16_t(year);
    }

    // As the planner shows the year, removed every-year days included; the record is read only.
    EveryYearRemovals removals;
    removals.load(years.filePath(QStringLiteral("ForeverRedDays.removed")), m_everyYear);
    EveryYearRule::applyForShowing(m_year, m_everyYear, removals);
    return true;
}

DisplaySettings YearReader::viewSettings() const
{
    DisplaySettings s = m_year.m_settings;
    s.m_bShowDayNumbers = s.m_bShowSundays = s.m_bShowMemoAlarm = s.m_bShowProjectLines = s.m_bShowRedDays =
        1;
    s.m_stSelected = m_storedSelection;
    return s;
}
