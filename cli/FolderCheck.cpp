#include "FolderCheck.h"

#include "Calendar.h"
#include "DataStore.h"
#include "DisplaySettings.h"
#include "ForeverRedDays.h"
#include "YearData.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

bool FolderCheck::isDataFileName(const QString& name, int* year)
{
    if (name == QLatin1String("YearDefaults.year") || name == QLatin1String("ForeverRedDays.year"))
        return true;
    // The base name is the year in decimal without leading zeros.
    static const QRegularExpression yearName(QStringLiteral("^([1-9][0-9]{0,3})\\.year$"));
    const QRegularExpressionMatch m = yearName.match(name);
    if (!m.hasMatch())
        return false;
    if (year)
        *year = m.captured(1).toInt();
    return true;
}

bool FolderCheck::check(const QString& yearsDir, QList<Entry>& entries, QString& error)
{
    const QFileInfo info(yearsDir);
    if (!info.exists()) {
        error = QStringLiteral("%1 does not exist").arg(QDir::toNativeSeparators(yearsDir));
        return false;
    }
    if (!info.isDir()) {
        error = QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(yearsDir));
        return false;
    }
    QDir dir(yearsDir);
    if (!dir.isReadable()) {
        error = QStringLiteral("%1 cannot be read").arg(QDir::toNativeSeparators(yearsDir));
        return false;
    }
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);

    const DisplaySettings builtIn = DisplaySettings::builtInDefaults(Calendar::makeDate(2000, 1, 1));
    for (const QString& name : names) {
        Entry entry;
        entry.name = name;
        int year = 0;
        if (!isDataFileName(name, &year)) {
            entry.verdict = Verdict::NotData;
            entries << entry;
            continue;
        }
        const QString path = dir.filePath(name);
        StoreResult r;
        if (name == QLatin1String("YearDefaults.year")) {
            DisplaySettings defaults{};
            r = DataStore::inspectDefaultsFile(path, defaults);
        } else if (name == QLatin1String("ForeverRedDays.year")) {
            ForeverRedDays everyYear;
            r = DataStore::inspectForeverRedDaysFile(path, everyYear);
        } else {
            YearData data;
            data.reset();
            data.m_settings.m_stSelected = Calendar::makeDate(year, 1, 1);
            r = DataStore::inspectYearFile(path, data, builtIn);
        }
        if (!r.ok()) {
            entry.verdict = Verdict::Damaged;
            entry.reason = r.reason;
        }
        entries << entry;
    }
    return true;
}
