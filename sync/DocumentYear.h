#pragma once

#include "SyncYear.h"

#include <QObject>
#include <QString>

#include <memory>

class YearRegistry;

// The planner's own open year for a sync: the registry's one document, so that what comes in repaints every
// window of the year at once. The network runs while the planner takes input; an edit the user makes
// meanwhile is never overwritten: edit() then refuses, the run stops before taking anything in, and the
// next run decides again from the year as it is.
class DocumentYear : public SyncYear
{
public:
    DocumentYear(YearRegistry& registry, const QString& yearsDir, int year);
    ~DocumentYear() override;

    int year() const override { return m_year; }
    QString yearsDir() const override { return m_yearsDir; }
    bool read(QString& error) override;
    const YearData& data() const override;
    YearDocument* edit(QString& error) override;
    bool save(QString& error) override;

    // Whether the user edited the year while the run went on: it needs another run.
    bool editedMeanwhile() const { return m_revision != m_readAt; }

private:
    YearRegistry& m_registry;
    QString m_yearsDir;
    int m_year;
    std::shared_ptr<YearDocument> m_document;
    QMetaObject::Connection m_watch;
    quint64 m_revision = 0;
    quint64 m_readAt = 0;
    bool m_editing = false;
};
