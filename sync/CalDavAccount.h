#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Who we are to a calendar server, and whether its URL may be used. The password never comes from the
// command line: from TOLVA_CALDAV_PASSWORD, else from ~/.netrc (the $HOME one), else from the keyring.
class CalDavAccount
{
public:
    // https always; http only to a loopback address (localhost, 127.0.0.0/8, ::1), where nothing crosses
    // a network, unless `insecureHttp`. A password in the URL is refused.
    static bool checkUrl(const QUrl& url, bool insecureHttp, QString& error);

    // The login and password for `host` in .netrc text: the first "machine" entry for the host (with
    // `user`, when given, as its login), else the "default" entry. False when none fits.
    static bool fromNetrc(const QByteArray& netrc, const QString& host, const QString& user, QString& login,
                          QString& password);

    // Fills user() and password() for `url`. `userOption` is --user (may be empty). No user and no
    // password at all is fine (a server without log-in); false with `error` for a half.
    bool resolve(const QUrl& url, const QString& userOption, QString& error);

    void set(const QString& user, const QString& password)
    {
        m_user = user;
        m_password = password;
    }
    enum class Source { None, Environment, Netrc, Keyring };
    // The password from TOLVA_CALDAV_PASSWORD, else ~/.netrc (which may name the login, put into `user`);
    // where it came from, None without one. The keyring is not asked.
    static Source fromOutside(const QUrl& url, QString& user, QString& password);
    // Where resolve() found the password; and why the keyring could not be asked, if it could not.
    Source source() const { return m_source; }
    const QString& keyringProblem() const { return m_keyringProblem; }

    const QString& user() const { return m_user; }
    const QString& password() const { return m_password; }
    // The value of an Authorization header, empty without a user.
    QByteArray authorization() const;

    static constexpr const char* kPasswordVariable = "TOLVA_CALDAV_PASSWORD";

private:
    QString m_user;
    QString m_password;
    Source m_source = Source::None;
    QString m_keyringProblem;
};
