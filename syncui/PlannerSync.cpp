#include "PlannerSync.h"

#include "CalDavSession.h"
#include "DocumentYear.h"
#include "PublishState.h"
#include "SyncEngine.h"
#include "SyncSink.h"
#include "YearRegistry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

// The engine's report, kept for the details and turned into the status field's progress.
class PlannerSync::Sink : public SyncSink
{
public:
    explicit Sink(PlannerSync& owner) : m_owner(owner) {}
    void line(const QString& word, const QString& text) override
    {
        m_owner.m_details << word + QLatin1Char(' ') + text;
    }
    // The window paints and takes input between the pieces of a long step.
    void breathe() override { QCoreApplication::processEvents(); }
    void progress(qsizetype done, qsizetype total) override
    {
        m_owner.m_done = done;
        m_owner.m_total = total;
        emit m_owner.statusChanged();
    }

private:
    PlannerSync& m_owner;
};

PlannerSync::PlannerSync(YearRegistry& registry, const QString& yearsDir, QObject* parent)
    : QObject(parent), m_registry(registry), m_yearsDir(yearsDir)
{
    m_periodic.setInterval(kAutoIntervalMs);
    connect(&m_periodic, &QTimer::timeout, this, &PlannerSync::syncNow);
    m_afterSave.setSingleShot(true);
    m_afterSave.setInterval(kAfterSaveMs);
    connect(&m_afterSave, &QTimer::timeout, this, &PlannerSync::syncNow);
}

void PlannerSync::setAccount(const Account& account)
{
    m_account = account;
    setState(account.url.isValid() ? State::Idle : State::Off);
    if (account.autoSync && account.url.isValid())
        m_periodic.start();
    else
        m_periodic.stop();
}

QString PlannerSync::statusText() const
{
    switch (m_state) {
    case State::Off:
        return QString();
    case State::Syncing:
        return m_total > 0 ? tr("Syncing %1 of %2…").arg(m_done).arg(m_total) : tr("Syncing…");
    case State::Pending:
        return m_pending == 1 ? tr("1 change not yet on the server")
                              : tr("%1 changes not yet on the server").arg(m_pending);
    case State::Failed:
        return tr("Sync failed: %1").arg(m_reason);
    case State::Idle:
        break;
    }
    if (m_conflicts > 0)
        return m_conflicts == 1 ? tr("1 conflict") : tr("%1 conflicts").arg(m_conflicts);
    return m_lastSync.isValid() ? tr("Synced %1").arg(m_lastSync.toString(QStringLiteral("HH:mm")))
                                : QString();
}

QList<int> PlannerSync::yearsToSync() const
{
    static const QRegularExpression yearFile(QStringLiteral("^(\\d{1,4})\\.year$"));
    QList<int> years;
    const QString collection = m_account.url.toDisplayString();
    for (const QFileInfo& f :
         QDir(m_yearsDir).entryInfoList({QStringLiteral("*.year")}, QDir::Files, QDir::Name)) {
        const QRegularExpressionMatch m = yearFile.match(f.fileName());
        if (!m.hasMatch())
            continue;
        const int year = m.captured(1).toInt();
        PublishState state;
        QString error;
        const bool synced = state.load(QDir(m_yearsDir).filePath(PublishState::fileName(year)), error) &&
                            !state.events(collection).isEmpty();
        // A year a window shows is one the user works on, whether edited yet or not.
        if (synced || !m_account.since.isValid() || f.lastModified() >= m_account.since ||
            m_registry.find(year))
            years << year;
    }
    return years;
}

void PlannerSync::yearSaved()
{
    // The run's own saves are no news; an edit made during a run is seen by the run itself.
    if (m_account.autoSync && m_state != State::Off && !m_running)
        m_afterSave.start();
}

void PlannerSync::syncNow()
{
    if (m_state == State::Off)
        return;
    if (m_running) {
        m_again = true;
        return;
    }
    m_running = true;
    m_details.clear();
    m_pending = 0;
    m_conflicts = 0;
    setState(State::Syncing);
    CalDavSession session;
    if (openSession(session, CalDavClient::kDefaultTimeoutMs))
        for (const int year : yearsToSync())
            runYear(session, year, false);
    m_running = false;
    if (m_state == State::Syncing) {
        m_lastSync = QTime::currentTime();
        setState(m_pending > 0 ? State::Pending : State::Idle);
    }
    if (m_again) {
        m_again = false;
        m_afterSave.start(); // what was typed during the run goes out with the next
    }
}

void PlannerSync::syncAtExit()
{
    if (m_state == State::Off || !m_account.autoSync || m_running)
        return;
    m_afterSave.stop();
    m_periodic.stop();
    QElapsedTimer clock;
    clock.start();
    CalDavSession session;
    if (!openSession(session, kExitBudgetMs / 3))
        return;
    for (const int year : yearsToSync()) {
        const int left = kExitBudgetMs - int(clock.elapsed());
        if (left <= 0)
            break;
        // A run makes at most a few requests one after another; each gets its share of what is left.
        session.client->setTimeout(qMax(1, left / 3));
        runYear(session, year, false);
    }
}

// One client for all the years of a run: the account and its trust are the same for each.
bool PlannerSync::openSession(CalDavSession& session, int timeoutMs)
{
    session.o.url = m_account.url;
    session.o.user = m_account.user;
    session.o.caFile = m_account.caFile;
    session.o.password = m_password;
    QString error;
    if (session.open(error, QStringLiteral("synced"), timeoutMs))
        return true;
    setState(State::Failed, error);
    return false;
}

void PlannerSync::runYear(CalDavSession& session, int year, bool allowMassDeletion)
{
    DocumentYear target(m_registry, m_yearsDir, year);
    Sink sink(*this);
    SyncEngine::Options options;
    options.prefer = SyncDecision::Prefer::Ask;
    options.allowMassDeletion = allowMassDeletion;
    const SyncResult r = SyncEngine(*session.client, session.collection, target, sink).run(options);
    m_again = m_again || target.editedMeanwhile();
    if (r.massDeletion && !allowMassDeletion && m_ask && m_ask(r.error))
        return runYear(session, year, true);
    m_conflicts += r.conflictsWaiting;
    m_pending += r.pending;
    // A request that failed leaves its change pending for the next run; a run that could not go on is told.
    if (!r.error.isEmpty())
        setState(State::Failed, QStringLiteral("%1: %2").arg(year).arg(r.error));
    else if (!r.failures.isEmpty())
        m_details << r.failures;
}

void PlannerSync::setState(State state, const QString& reason)
{
    m_state = state;
    if (!reason.isEmpty()) {
        m_reason = reason;
        m_details << reason;
    }
    emit statusChanged();
}
