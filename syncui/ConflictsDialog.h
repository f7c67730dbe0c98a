#pragma once

#include "ConflictStore.h"

#include <QDialog>

class QTableWidget;

// The conflicts of a year that wait for the user: each item with the planner's and the server's version,
// and which one to keep. OK stores the choices in the conflict store; the next sync carries them out.
class ConflictsDialog : public QDialog
{
    Q_OBJECT

public:
    // `path`: the year's conflict store.
    ConflictsDialog(const QString& path, QWidget* parent = nullptr);

    bool hasConflicts() const { return !m_store.entries().isEmpty(); }
    // Stores the choices made; false with `error`. True when nothing was chosen.
    bool apply(QString& error);

    // One version of an item as the table shows it: its text and day, "deleted" for none.
    static QString shown(const QString& calendarText);

private:
    QString m_path;
    ConflictStore m_store;
    QTableWidget* m_table = nullptr;
};
