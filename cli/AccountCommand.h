#pragma once

#include <QStringList>
#include <QTextStream>

// `tolva-cli account`: shows the calendar account that publish, sync and pull use without --url (the one
// the planner's Calendar Account dialog sets), and `account set` sets it. The password is never shown,
// only where it comes from.
class AccountCommand
{
public:
    static constexpr const char* kSynopsis = "account [set --url URL --user NAME [--ca-file FILE]]";
    static constexpr const char* kHelp =
        "Shows the calendar account that publish, sync and pull use when no URL is given: the calendar "
        "collection's URL, the user, the certificate authority file, whether the planner syncs by itself, "
        "and where the password comes from (TOLVA_CALDAV_PASSWORD, ~/.netrc, the keyring, or none); never "
        "the password. With set, replaces the URL, the user and the CA file; the password is not given "
        "here (set TOLVA_CALDAV_PASSWORD, use ~/.netrc, or let the planner keep it in the keyring).\n\n"
        "  --url URL        the calendar collection\n"
        "  --user NAME      the user to log in as\n"
        "  --ca-file FILE   also trust the certificate authorities in this PEM file";

    AccountCommand(QTextStream& out, QTextStream& err);

    // `args` as CliRunner has them: the program first, without the command's name.
    int run(const QStringList& args);

private:
    int show();
    int set(const class QCommandLineParser& parser);
    int fail(const QString& message);
    int usage(const QString& message);

    QTextStream& m_out;
    QTextStream& m_err;
};
