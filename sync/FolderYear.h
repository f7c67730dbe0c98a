#pragma once

#include "StoreResult.h"
#include "SyncYear.h"
#include "YearReader.h"

#include <QList>

#include <memory>

class DataStore;
class YearRegistry;

// A year of a data folder for a command that holds the folder's lock: read without a change until the
// sync edits it, then opened through the planner's own registry (so every-year red days reach
// ForeverRedDays.year by the same rules), with one copy of the year file as it was kept beside it
// (2026.year.before-sync), replaced by each sync that edits.
class FolderYear : public SyncYear
{
public:
    FolderYear(const QString& dir, int year);
    ~FolderYear() override;

    int year() const override { return m_year; }
    QString yearsDir() const override { return m_reader.yearsDir(); }
    bool read(QString& error) override;
    const YearData& data() const override;
    YearDocument* edit(QString& error) override;
    bool save(QString& error) override;

private:
    bool keepCopy(const QString& path, QString& error) const;

    QString m_dir;
    int m_year;
    YearReader m_reader;
    std::unique_ptr<DataStore> m_store;
    std::unique_ptr<YearRegistry> m_registry;
    std::shared_ptr<YearDocument> m_document;
    QList<StoreResult> m_problems;
};
