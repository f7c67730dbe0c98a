#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGHUP and SIGINT into a Qt signal on the user-interface thread, so that a planner asked to
// stop saves what the user typed before it ends (by default those signals end a Qt program on the spot).
// The handlers only write the signal number into a socket pair; everything else runs in the event loop.
//
// Also ignores SIGXFSZ: a write past a file-size limit then fails with EFBIG and is reported as the failed
// save it is, instead of ending the program with the edit lost.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    // Installs the handlers; one instance per process.
    explicit StopSignals(QObject* parent = nullptr);
    // Restores the default dispositions.
    ~StopSignals() override;

    static QString signalName(int signal);

signals:
    void stopRequested(int signal);

private:
    void readSignal();

    QSocketNotifier* m_notifier = nullptr;
};
