#include "CalDavAccount.h"

#include "PasswordStore.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QStringList>

namespace {

constexpr qint64 kMaxNetrcSize = qint64(1) << 20;

// .netrc tokens: words split by white space; a double-quoted word may hold spaces and \" escapes.
QStringList netrcTokens(const QByteArray& text)
{
    QStringList tokens;
    const QString s = QString::fromUtf8(text);
    qsizetype i = 0;
    while (i < s.size()) {
        if (s.at(i).isSpace()) {
            ++i;
            continue;
        }
        QString token;
        if (s.at(i) == QLatin1Char('"')) {
            for (++i; i < s.size() && s.at(i) != QLatin1Char('"'); ++i) {
                if (s.at(i) == QLatin1Char('\\') && i + 1 < s.size())
                    ++i;
                token += s.at(i);
            }
            ++i;
        } else {
            while (i < s.size() && !s.at(i).isSpace())
                token += s.at(i++);
        }
        // A macro definition runs to the next empty line; it holds no credentials.
        if (token == QLatin1String("macdef")) {
            const qsizetype end = s.indexOf(QLatin1String("\n\n"), i);
            i = end < 0 ? s.size() : end + 2;
            continue;
        }
        tokens << token;
    }
    return tokens;
}

bool isLoopback(const QString& host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

bool CalDavAccount::checkUrl(const QUrl& url, bool insecureHttp, QString& error)
{
    if (!url.isValid() || url.host().isEmpty()) {
        error = QStringLiteral("%1: not a URL with a host").arg(url.toDisplayString());
        return false;
    }
    if (!url.password().isEmpty()) {
        error = QStringLiteral("%1: a password does not belong in the URL; put it in %2 or ~/.netrc")
                    .arg(url.toDisplayString(QUrl::RemovePassword), QLatin1String(kPasswordVariable));
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return true;
    if (scheme != QLatin1String("http")) {
        error = QStringLiteral("%1: only https:// (and http:// on this machine) URLs are supported")
                    .arg(url.toDisplayString());
        return false;
    }
    if (isLoopback(url.host()) || insecureHttp)
        return true;
    error = QStringLiteral("%1: plain http would send the password and the calendar unencrypted; use "
                           "https, or --insecure-http if you must")
                .arg(url.toDisplayString());
    return false;
}

bool CalDavAccount::fromNetrc(const QByteArray& netrc, const QString& host, const QString& user,
                              QString& login, QString& password)
{
    const QStringList t = netrcTokens(netrc);
    struct Entry
    {
        bool isDefault = false;
        QString machine, login, password;
    };
    QList<Entry> entries;
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QString& word = t.at(i);
        const bool hasValue = i + 1 < t.size();
        if (word == QLatin1String("machine") && hasValue) {
            entries << Entry{false, t.at(++i), {}, {}};
        } else if (word == QLatin1String("default")) {
            entries << Entry{true, {}, {}, {}};
        } else if (word == QLatin1String("login") && hasValue && !entries.isEmpty()) {
            entries.last().login = t.at(++i);
        } else if (word == QLatin1String("password") && hasValue && !entries.isEmpty()) {
            entries.last().password = t.at(++i);
        } else if (word == QLatin1String("account") && hasValue) {
            ++i;
        }
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (const Entry& e : entries) {
            const bool hostFits =
                pass == 0 ? !e.isDefault && e.machine.compare(host, Qt::CaseInsensitive) == 0 : e.isDefault;
            if (!hostFits || (!user.isEmpty() && !e.login.isEmpty() && e.login != user))
                continue;
            login = e.login.isEmpty() ? user : e.login;
            password = e.password;
            return true;
        }
    }
    return false;
}

CalDavAccount::Source CalDavAccount::fromOutside(const QUrl& url, QString& user, QString& password)
{
    const QByteArray fromEnvironment = qgetenv(kPasswordVariable);
    if (!fromEnvironment.isEmpty()) {
        password = QString::fromUtf8(fromEnvironment);
        return Source::Environment;
    }
    QFile file(QDir(qEnvironmentVariable("HOME", QDir::homePath())).filePath(QStringLiteral(".netrc")));
    QString login, found;
    if (!file.open(QIODevice::ReadOnly) ||
        !fromNetrc(file.read(kMaxNetrcSize), url.host(), user, login, found))
        return Source::None;
    user = login;
    password = found;
    return password.isEmpty() ? Source::None : Source::Netrc;
}

bool CalDavAccount::resolve(const QUrl& url, const QString& userOption, QString& error)
{
    m_user = userOption.isEmpty() ? url.userName() : userOption;
    m_password.clear();
    m_source = Source::None;
    m_keyringProblem.clear();
    m_source = fromOutside(url, m_user, m_password);
    if (!m_user.isEmpty() && m_password.isEmpty()) {
        const PasswordStore::Result kept = PasswordStore::readNow(PasswordStore::keyFor(url, m_user));
        if (kept.outcome == PasswordStore::Outcome::Done && !kept.password.isEmpty()) {
            m_password = kept.password;
            m_source = Source::Keyring;
        } else if (kept.outcome == PasswordStore::Outcome::Unavailable) {
            m_keyringProblem = kept.error;
        }
    }
    if (!m_user.isEmpty() && m_password.isEmpty()) {
        error = QStringLiteral("no password for %1 at %2: set %3, add the server to ~/.netrc, or keep it in "
                               "the keyring with the planner's File > Calendar Account...%4")
                    .arg(m_user, url.host(), QLatin1String(kPasswordVariable),
                         m_keyringProblem.isEmpty()
                             ? QString()
                             : QStringLiteral(" (no keyring answers: %1)").arg(m_keyringProblem));
        return false;
    }
    if (m_user.isEmpty() && !m_password.isEmpty()) {
        error = QStringLiteral("a password but no user name for %1: give --user NAME").arg(url.host());
        return false;
    }
    return true;
}

QByteArray CalDavAccount::authorization() const
{
    if (m_user.isEmpty())
        return QByteArray();
    return "Basic " + (m_user + QLatin1Char(':') + m_password).toUtf8().toBase64();
}
