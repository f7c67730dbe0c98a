// The manual pages the build makes from the programs' own --help: every command tolva-cli accepts and
// every option either program takes is in its page, with the sections a manual page is read for, and
// groff reads both without a warning.

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000))
        return {};
    if (exitCode)
        *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The page's text with roff's escaped hyphens plain again.
QString page(const QString& name)
{
    QFile file(QStringLiteral(TOLVA_MAN_DIR "/%1.1").arg(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).replace(QStringLiteral("\\-"), QStringLiteral("-"));
}

// The first word of each entry under "Commands:" in the overview.
QStringList listedCommands(const QString& help)
{
    QStringList commands;
    const qsizetype at = help.indexOf(QStringLiteral("\nCommands:\n"));
    if (at < 0)
        return commands;
    const QStringList lines = help.mid(at + 11).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (!line.startsWith(QLatin1String("  ")))
            break;
        commands.append(line.trimmed().section(QLatin1Char(' '), 0, 0));
    }
    return commands;
}

// The names the command line dispatches on, read from its source: a command wired in but left out of the
// overview would otherwise be missing from the page unnoticed.
QStringList dispatchedCommands()
{
    QFile file(QStringLiteral(TOLVA_SOURCE_DIR "/cli/CliRunner.cpp"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString source = QString::fromUtf8(file.readAll());
    static const QRegularExpression dispatch(
        QStringLiteral(R"re(name == QLatin1String\("([a-z][a-z0-9-]*)"\))re"));
    QStringList names;
    for (const QRegularExpressionMatch& m : dispatch.globalMatch(source))
        names.append(m.captured(1));
    names.removeDuplicates();
    return names;
}

// The option terms of a help text's "Options:" section ("-h, --help" gives both).
QStringList options(const QString& help)
{
    QStringList found;
    static const QRegularExpression option(QStringLiteral(R"((?:^|[ ,])(--?[a-zA-Z][a-zA-Z-]*))"));
    const qsizetype at = help.indexOf(QStringLiteral("\nOptions:\n"));
    const QStringList lines = help.mid(at + 10).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        if (!line.startsWith(QLatin1String("  ")))
            break;
        const QString term = line.trimmed().section(QStringLiteral("  "), 0, 0);
        for (const QRegularExpressionMatch& m : option.globalMatch(term))
            found.append(m.captured(1));
    }
    return found;
}

} // namespace

class TestManPages : public QObject
{
    Q_OBJECT

private slots:
    void everyCliCommandHasItsSection();
    void everyOptionIsInThePage_data();
    void everyOptionIsInThePage();
    void groffReadsThePagesCleanly_data();
    void groffReadsThePagesCleanly();
    void pagesCarryTheChangelogsDate();
};

// A command the CLI accepts is found in tolva-cli(1) under its own name.
void TestManPages::everyCliCommandHasItsSection()
{
    const QString help = run(QStringLiteral(TOLVA_CLI), {QStringLiteral("--help")});
    QStringList commands = listedCommands(help);
    QVERIFY2(commands.size() >= 8, qPrintable(help));
    // The source adds what the overview might leave out (none, when dispatch is written differently).
    const QStringList dispatched = dispatchedCommands();
    for (const QString& c : dispatched) {
        if (!commands.contains(c))
            commands.append(c);
    }
    const QString text = page(QStringLiteral("tolva-cli"));
    QVERIFY(!text.isEmpty());
    for (const QString& command : std::as_const(commands)) {
        int code = -1;
        run(QStringLiteral(TOLVA_CLI), {command, QStringLiteral("--help")}, &code);
        QVERIFY2(code == 0, qPrintable(command + QStringLiteral(" is not accepted")));
        QVERIFY2(text.contains(QStringLiteral("\n.SS %1\n").arg(command)),
                 qPrintable(command + QStringLiteral(" has no section in tolva-cli.1")));
    }
}

void TestManPages::everyOptionIsInThePage_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("sections");
    const QStringList common{"NAME",        "SYNOPSIS",    "DESCRIPTION", "OPTIONS",
                             "EXIT STATUS", "ENVIRONMENT", "FILES",       "EXAMPLES"};
    QTest::newRow("tolva") << QStringLiteral(TOLVA_GUI) << "tolva" << common;
    QTest::newRow("tolva-cli") << QStringLiteral(TOLVA_CLI) << "tolva-cli"
                               << (common + QStringList{"COMMANDS"});
}

// What --help offers, the page offers, under the sections a reader looks for.
void TestManPages::everyOptionIsInThePage()
{
    QFETCH(QString, program);
    QFETCH(QString, name);
    QFETCH(QStringList, sections);
    const QString text = page(name);
    QVERIFY(!text.isEmpty());
    for (const QString& s : sections)
        QVERIFY2(text.contains(QStringLiteral("\n.SH %1\n").arg(s)), qPrintable(s));
    const QStringList found = options(run(program, {QStringLiteral("--help")}));
    QVERIFY(found.contains(QStringLiteral("--help")) && found.contains(QStringLiteral("--version")));
    for (const QString& o : found)
        QVERIFY2(text.contains(o), qPrintable(o));
    QVERIFY(text.contains(QStringLiteral("TZ")));
    if (name == QLatin1String("tolva-cli"))
        QVERIFY(text.contains(QStringLiteral("TOLVA_CALDAV_PASSWORD")));
    else // the manual that Help shows is the page's description
        QVERIFY(text.contains(QStringLiteral(".SS Editing a day")));
    // The compressed page is the one installed.
    QVERIFY(QFile::exists(QStringLiteral(TOLVA_MAN_DIR "/%1.1.gz").arg(name)));
}

void TestManPages::groffReadsThePagesCleanly_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("tolva") << "tolva";
    QTest::newRow("tolva-cli") << "tolva-cli";
}

void TestManPages::groffReadsThePagesCleanly()
{
    QFETCH(QString, name);
    const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
    if (groff.isEmpty())
        QSKIP("groff is not installed");
    QProcess p;
    p.start(groff, {QStringLiteral("-man"), QStringLiteral("-Tutf8"), QStringLiteral("-ww"),
                    QStringLiteral("-z"), QStringLiteral(TOLVA_MAN_DIR "/%1.1").arg(name)});
    QVERIFY(p.waitForFinished(60000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), QString());
    QCOMPARE(p.exitCode(), 0);
}

// The package's pages and changelog speak of one release: the same day in both.
void TestManPages::pagesCarryTheChangelogsDate()
{
    QFile changelog(QStringLiteral(TOLVA_SOURCE_DIR "/packaging/changelog.in"));
    QVERIFY(changelog.open(QIODevice::ReadOnly));
    const QString day = QRegularExpression(QStringLiteral(R"(\n -- .*  \w{3}, (\d\d \w{3} \d{4}))"))
                            .match(QString::fromUtf8(changelog.readAll()))
                            .captured(1);
    const QString iso = QLocale::c().toDate(day, QStringLiteral("dd MMM yyyy")).toString(Qt::ISODate);
    for (const QString& name : {QStringLiteral("tolva"), QStringLiteral("tolva-cli")})
        QVERIFY2(!iso.isEmpty() && page(name).contains(" 1 \"" + iso + "\" "), qPrintable(name + iso));
}

QTEST_GUILESS_MAIN(TestManPages)
#include "tst_manpages.moc"
