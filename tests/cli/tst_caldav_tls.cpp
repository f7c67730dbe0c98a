// publish over https to a Radicale with a certificate from a private CA made here with openssl: refused
// with the certificate's fingerprint until the CA is trusted by --ca-file (remembered), SSL_CERT_FILE or
// SSL_CERT_DIR.
#include "CalDavAccount.h"
#include "CliFixture.h"
#include "RadicaleServer.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace CliFixture;

namespace {

constexpr int kYear = 2026;

bool openssl(const QStringList& args, QString* output = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning() << "openssl failed:" << args << p.readAllStandardError();
        return false;
    }
    if (output)
        *output = QString::fromUtf8(p.readAllStandardOutput());
    return true;
}

} // namespace

class TstCalDavTls : public QObject
{
    Q_OBJECT

private:
    QString file(const QString& name) const { return m_keys.filePath(name); }

    QProcessEnvironment environment(const QString& configHome) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QLatin1String(CalDavAccount::kPasswordVariable), QLatin1String(RadicaleServer::kPassword));
        env.insert(QStringLiteral("HOME"), configHome);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        env.remove(QStringLiteral("SSL_CERT_FILE"));
        env.remove(QStringLiteral("SSL_CERT_DIR"));
        return env;
    }

    Run publish(const QProcessEnvironment& env, const QStringList& extra = {})
    {
        return runProgram(QStringList{QStringLiteral("--dir"), m_dir.path(), QStringLiteral("publish"),
                                      QString::number(kYear), QStringLiteral("--url"),
                                      m_server.calendarUrl(QStringLiteral("year")), QStringLiteral("--user"),
                                      QLatin1String(RadicaleServer::kUser)} +
                              extra,
                          env);
    }

    QTemporaryDir m_keys;
    QTemporaryDir m_dir;
    RadicaleServer m_server;
    QString m_fingerprint;

private slots:
    void initTestCase()
    {
        // A private CA, and the server's certificate for 127.0.0.1 signed by it.
        QVERIFY(openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                         "/CN=Tolva test CA", "-keyout", file("ca.key"), "-out", file("ca.pem")}));
        QVERIFY(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout",
                         file("server.key"), "-out", file("server.csr")}));
        QFile ext(file("ext.cnf"));
        QVERIFY(ext.open(QIODevice::WriteOnly));
        ext.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
        ext.close();
        QVERIFY(openssl({"x509", "-req", "-in", file("server.csr"), "-CA", file("ca.pem"), "-CAkey",
                         file("ca.key"), "-CAcreateserial", "-days", "2", "-extfile", file("ext.cnf"), "-out",
                         file("server.pem")}));
        QString out;
        QVERIFY(openssl({"x509", "-in", file("server.pem"), "-noout", "-fingerprint", "-sha256"}, &out));
        m_fingerprint = out.section(QLatin1Char('='), 1).trimmed().toUpper();
        QVERIFY(m_fingerprint.count(QLatin1Char(':')) == 31);
        // SSL_CERT_DIR wants the OpenSSL hash names.
        QDir().mkpath(file("certs"));
        QVERIFY(openssl({"x509", "-in", file("ca.pem"), "-noout", "-subject_hash"}, &out));
        QVERIFY(QFile::copy(file("ca.pem"), file("certs/") + out.trimmed() + QStringLiteral(".0")));

        m_server.setTls(file("server.pem"), file("server.key"));
        QString error;
        QVERIFY2(m_server.start(error), qPrintable(error));
        QProcess peer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PEER_CA"), file("ca.pem"));
        peer.setProcessEnvironment(env);
        peer.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(TOLVA_CALDAV_PEER), m_server.baseUrl(),
                    QLatin1String(RadicaleServer::kUser), QLatin1String(RadicaleServer::kPassword),
                    QStringLiteral("make"), QStringLiteral("year")});
        QVERIFY(peer.waitForFinished(30000));
        QVERIFY2(peer.exitCode() == 0, peer.readAllStandardError().constData());
        writeFolder(m_dir.path(), richYear(kYear), everyYearDays(kYear));
    }

    // Why: a certificate nobody vouched for may be an attacker's; the user must see which one it is before
    // deciding to trust it.
    void untrustedCertificateIsRefusedWithItsFingerprint()
    {
        QTemporaryDir home;
        const Run r = publish(environment(home.path()));
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err.count(QLatin1Char('\n')), 1);
        QVERIFY2(r.err.contains(QStringLiteral("not trusted")), qPrintable(r.err));
        QVERIFY2(r.err.contains(m_fingerprint), qPrintable(r.err + m_fingerprint));
    }

    // Why: self-hosted servers use a private CA; each way of trusting it must work, and --ca-file must not
    // be needed on every run.
    void privateCaIsTrustedWhenGiven_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("--ca-file, then remembered") << "ca-file";
        QTest::newRow("SSL_CERT_FILE") << "SSL_CERT_FILE";
        QTest::newRow("SSL_CERT_DIR") << "SSL_CERT_DIR";
    }
    void privateCaIsTrustedWhenGiven()
    {
        QFETCH(QString, how);
        QTemporaryDir home;
        QProcessEnvironment env = environment(home.path());
        QStringList extra;
        if (how == QLatin1String("ca-file"))
            extra << QStringLiteral("--ca-file") << file("ca.pem");
        else if (how == QLatin1String("SSL_CERT_FILE"))
            env.insert(how, file("ca.pem"));
        else
            env.insert(how, file("certs"));
        const Run r = publish(env, extra);
        QVERIFY2(r.status == 0, qPrintable(r.out + r.err));
        if (how != QLatin1String("ca-file"))
            return;
        const Run again = publish(env);
        QVERIFY2(again.status == 0, qPrintable(again.out + again.err));
        const QString accounts = home.filePath(QStringLiteral("tolva/caldav-accounts.json"));
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFile::permissions(accounts) & others, QFileDevice::Permissions{});
        // A file that gives no certificate fails once and is not remembered over the one that works.
        QFile bogus(home.filePath(QStringLiteral("bogus.pem")));
        QVERIFY(bogus.open(QIODevice::WriteOnly) && bogus.write("not a certificate\n") > 0);
        bogus.close();
        QCOMPARE(publish(env, {QStringLiteral("--ca-file"), bogus.fileName()}).status, 1);
        QCOMPARE(publish(env).status, 0);
        QVERIFY(!QFile::exists(home.filePath(QStringLiteral(".netrc"))));
        // Forgotten again with an empty --ca-file.
        QCOMPARE(publish(env, {QStringLiteral("--ca-file"), QString()}).status, 1);
    }

    void cleanupTestCase() { m_server.stop(); }
};

QTEST_GUILESS_MAIN(TstCalDavTls)
#include "tst_caldav_tls.moc"
