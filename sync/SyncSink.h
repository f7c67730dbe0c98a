#pragma once

#include <QString>

// Where publish and sync say what they do, line by line as they go: tolva-cli prints the lines, the planner
// shows the progress and keeps the lines for its details.
class SyncSink
{
public:
    virtual ~SyncSink() = default;

    // `word` names what happened ("added", "took in", "conflict", "left", "note", "failed", ...), `text` to
    // what.
    virtual void line(const QString& word, const QString& text) = 0;
    // About the server's data rather than the sync: a line of an object that is not UTF-8.
    virtual void warning(const QString& text) { line(QStringLiteral("warning"), text); }
    // Called between pieces of work that take a while: the planner turns its event loop here.
    virtual void breathe() {}
    // `done` of the `total` requests of the step under way are answered.
    virtual void progress(qsizetype done, qsizetype total)
    {
        Q_UNUSED(done)
        Q_UNUSED(total)
    }
};
