#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// The one calendar account that the planner and tolva-cli share: where the calendar is, who logs in, which
// certificate authority to trust, and two choices of the user. Kept in ~/.config/tolva/account.json,
// readable by its owner only; the password is never in it (see PasswordStore).
class SyncAccount
{
public:
    static constexpr qint64 kMaxFileSize = 64 * 1024;
    // The file's mode: which servers and users the owner has is the owner's business.
    static constexpr int kFileMode = 0600;

    // QStandardPaths::GenericConfigLocation + "tolva/account.json".
    static QString defaultPath();

    // A missing file is an account that is not set (isSet() false), and true. False with `error` for a
    // file that cannot be read or is damaged.
    bool load(const QString& path, QString& error);
    // Replaces the file atomically (mode kFileMode); a damaged one is kept aside first. False with `error`
    // when it could not be written (the old one stays).
    bool save(const QString& path, QString& error) const;

    QByteArray toJson() const;
    bool fromJson(const QByteArray& json, QString& error);

    // A server address is what makes an account.
    bool isSet() const { return !m_url.isEmpty(); }
    // The calendar collection's URL.
    const QUrl& url() const { return m_url; }
    void setUrl(const QUrl& url) { m_url = url; }
    const QString& user() const { return m_user; }
    void setUser(const QString& user) { m_user = user; }
    // A PEM file of certificate authorities to trust besides the system's; empty for none.
    const QString& caFile() const { return m_caFile; }
    void setCaFile(const QString& caFile) { m_caFile = caFile; }
    bool remembersPassword() const { return m_remembersPassword; }
    void setRemembersPassword(bool on) { m_remembersPassword = on; }
    bool syncsAutomatically() const { return m_syncsAutomatically; }
    void setSyncsAutomatically(bool on) { m_syncsAutomatically = on; }

    bool operator==(const SyncAccount&) const = default;

private:
    QUrl m_url;
    QString m_user;
    QString m_caFile;
    bool m_remembersPassword = true;
    bool m_syncsAutomatically = false;
};
