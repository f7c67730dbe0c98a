#include "PasswordStore.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <memory>

namespace {

PasswordStore::Result resultOf(const QKeychain::Job& job, bool removing)
{
    PasswordStore::Result r;
    switch (job.error()) {
    case QKeychain::NoError:
        r.outcome = PasswordStore::Outcome::Done;
        if (const auto* read = qobject_cast<const QKeychain::ReadPasswordJob*>(&job))
            r.password = read->textData();
        break;
    case QKeychain::EntryNotFound:
        // Gone is what a removal wants.
        r.outcome = removing ? PasswordStore::Outcome::Done : PasswordStore::Outcome::NotFound;
        break;
    default:
        r.error = job.errorString().isEmpty()
                      ? QStringLiteral("the keyring refused (error %1)").arg(job.error())
                      : job.errorString();
        break;
    }
    return r;
}

} // namespace

PasswordStore::PasswordStore(QObject* parent) : QObject(parent) {}

QString PasswordStore::keyFor(const QUrl& url, const QString& user)
{
    return QStringLiteral("caldav:") + user + QLatin1Char('@') + url.host();
}

void PasswordStore::read(const QString& key)
{
    start(Job::Read, key, QString());
}

void PasswordStore::write(const QString& key, const QString& password)
{
    start(Job::Write, key, password);
}

void PasswordStore::remove(const QString& key)
{
    start(Job::Remove, key, QString());
}

void PasswordStore::start(Job job, const QString& key, const QString& password, int timeoutMs)
{
    const QString service = QLatin1String(kService);
    // A job may still be waiting for D-Bus when its answer is given up on: it goes by itself once done,
    // since deleting it under a pending call would crash the call's completion, or else with the
    // application, after the last event loop.
    QObject* owner = QCoreApplication::instance();
    QKeychain::Job* k = nullptr;
    if (job == Job::Read) {
        k = new QKeychain::ReadPasswordJob(service, owner);
    } else if (job == Job::Write) {
        auto* w = new QKeychain::WritePasswordJob(service, owner);
        w->setTextData(password);
        k = w;
    } else {
        k = new QKeychain::DeletePasswordJob(service, owner);
    }
    k->setKey(key);
    // Never the plain-text settings file QtKeychain falls back to on request.
    k->setInsecureFallback(false);
    k->setAutoDelete(true);

    const auto answered = std::make_shared<bool>(false);
    const auto answer = [this, job, key, answered](const Result& r) {
        if (*answered)
            return;
        *answered = true;
        if (job == Job::Read)
            emit readFinished(key, r);
        else if (job == Job::Write)
            emit writeFinished(key, r);
        else
            emit removeFinished(key, r);
    };
    // The job's own, so that it is there for as long as the job can still answer.
    auto* timer = new QTimer(k);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [answer, timeoutMs] {
        answer({Outcome::Unavailable, QString(),
                QStringLiteral("no keyring answered within %1 s").arg(timeoutMs / 1000.0)});
    });
    connect(k, &QKeychain::Job::finished, this, [answer, timer, job](QKeychain::Job* done) {
        timer->stop();
        answer(resultOf(*done, job == Job::Remove));
    });
    timer->start(timeoutMs);
    k->start();
}

PasswordStore::Result PasswordStore::readNow(const QString& key, int timeoutMs)
{
    if (!QCoreApplication::instance())
        return {Outcome::Unavailable, QString(), QStringLiteral("no event loop to ask the keyring from")};
    PasswordStore store;
    QEventLoop loop;
    Result result;
    bool done = false;
    connect(&store, &PasswordStore::readFinished, &loop, [&](const QString&, const Result& r) {
        result = r;
        done = true;
        loop.quit();
    });
    store.start(Job::Read, key, QString(), timeoutMs);
    if (!done)
        loop.exec();
    return result;
}
