#pragma once

#include <QString>

class DataFolderLock;

// The data folder is the planner's while one runs: two writers would each save over the other. Takes
// `lock` for a command, or says in `error` why not and that nothing was done ("imported", "synced").
// `syncing`: the planner syncs by itself, which the message says.
bool lockForCommand(DataFolderLock& lock, const QString& yearsDir, const QString& nothing, bool syncing,
                    QString& error);
