#pragma once

#include <QString>

class YearDocument;
struct YearData;

// The year a sync works on, as the engine needs it: read as it stands, edited through its one document,
// and written before the sync's own record, so that a run cut between the two is finished by the next.
// tolva-cli uses a year of a data folder (FolderYear); the planner its open document.
class SyncYear
{
public:
    virtual ~SyncYear() = default;

    virtual int year() const = 0;
    // The folder the year's files, the sync state and the conflict file live in.
    virtual QString yearsDir() const = 0;

    // The year as it stands now; false with `error` when it cannot be read (a damaged file).
    virtual bool read(QString& error) = 0;
    virtual const YearData& data() const = 0;
    // The document the sync's edits go through, opened on first use; null with `error`.
    virtual YearDocument* edit(QString& error) = 0;
    // Writes what the edits changed; false with `error`.
    virtual bool save(QString& error) = 0;
};
