#include "CliRunner.h"

#include "AccountCommand.h"
#include "CalDavSync.h"
#include "Calendar.h"
#include "CalendarExport.h"
#include "FolderCheck.h"
#include "FolderName.h"
#include "HolidayImport.h"
#include "ICalendarFile.h"
#include "InvalidArgument.h"
#include "OutputFile.h"
#include "YearJson.h"
#include "YearPainter.h"
#include "YearReader.h"
#include "YearRenderer.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimeZone>

namespace {

struct CommandHelp
{
    const char* name;
    const char* synopsis;
    const char* text;
};

// Every command's help; the first line of each also serves the overview.
const CommandHelp kCommands[] = {
    {"dump", "dump YEAR",
     "Prints the year as JSON: its settings, projects, every day that holds anything, and the "
     "red days that repeat every year."},
    {"render", "render YEAR -o FILE [--size WxH]",
     "Paints the year as the year window does at that size (default 1200x800) into a PNG, PDF or SVG file, "
     "chosen by the file's extension."},
    {"status", "status YEAR --size WxH --at X,Y",
     "Prints the status-bar text the year window shows with the pointer at X,Y of a view of that size."},
    {"export-ics", "export-ics YEAR [-o FILE]",
     "Writes the year as an iCalendar file (standard output without -o or with -o -): projects, red days, "
     "memos and the alarms that are on. A regular FILE is replaced whole or not at all; a device or a FIFO "
     "is written to."},
    {"import-ics", "import-ics FILE YEAR [--replace]",
     "Makes the all-day events of an iCalendar file red days of the year; events that repeat every year on "
     "their day become red days that repeat every year. A day's red-day text is replaced only with "
     "--replace. Keeps a copy of each file it replaces (NAME.before-import)."},
    {"publish", CalDavSync::kPublishSynopsis, CalDavSync::kPublishHelp},
    {"sync", CalDavSync::kSyncSynopsis, CalDavSync::kSyncHelp},
    {"pull", CalDavSync::kPullSynopsis, CalDavSync::kPullHelp},
    {"account", AccountCommand::kSynopsis, AccountCommand::kHelp},
    {"check", "check",
     "Reads every file in YEARS and reports each as sound or damaged; exit status 0 only when "
     "all are sound."},
};

const CommandHelp* findCommand(const QString& name)
{
    for (const CommandHelp& c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

// After the commands; tolva-cli(1) is made from the whole overview (tools/make-manpage.py), so its layout
// is fixed: a title ending in ':' and two-space entries with the term and its text two spaces apart.
constexpr auto kOverviewSections =
    "\n"
    "Options:\n"
    "  --dir DIR  the folder that holds YEARS (default: the current directory)\n"
    "  -h, --help  this text; after a command, that command's own\n"
    "  --version  the version\n"
    "\n"
    "Exit status:\n"
    "  0  the command did what it was asked\n"
    "  1  the command failed, or check found a damaged file\n"
    "  2  a command line tolva-cli cannot understand\n"
    "\n"
    "Environment:\n"
    "  TOLVA_CALDAV_PASSWORD  the password for publish, sync and pull (else a ~/.netrc line for the host, "
    "else the keyring)\n"
    "  TZ  the time zone of exported alarms: UTC gives UTC times, an unknown zone floating times\n"
    "\n"
    "Files:\n"
    "  YEARS/NNNN.year  one year of the planner (NNNN is the year)\n"
    "  YEARS/YearDefaults.year  the display settings of a year without a file\n"
    "  YEARS/ForeverRedDays.year  the red days that repeat every year\n"
    "  YEARS/NNNN.publish-state.json  what the last publish left on each server\n"
    "  YEARS/*.before-import  a file as it was before import-ics or pull replaced it\n"
    "  ~/.netrc  \"machine HOST login NAME password SECRET\" lines for publish and pull\n"
    "  ~/.config/tolva/account.json  the calendar account of publish, sync and pull without a URL (see "
    "account)\n"
    "\n"
    "Examples:\n"
    "  tolva-cli dump 2026 > 2026.json  the year as JSON\n"
    "  tolva-cli render 2026 -o 2026.pdf --size 1920x1080  the year as the window paints it\n"
    "  tolva-cli export-ics 2026 -o 2026.ics  the year for a calendar program\n"
    "  tolva-cli import-ics holidays.ics 2026  all-day events become red days\n"
    "  tolva-cli publish 2026 --url https://cal.example.org/dav/anna/planner/ --user anna  the year on a "
    "CalDAV calendar\n"
    "  tolva-cli --dir ~/planner check  every file sound or damaged, with the reason\n";

QString overview()
{
    QString text =
        QStringLiteral("Usage: tolva-cli [--dir DIR] COMMAND [ARGUMENTS]\n\n"
                       "Works on the planner's data folder YEARS in the current directory, or in DIR.\n\n"
                       "Commands:\n");
    for (const CommandHelp& c : kCommands)
        text += QStringLiteral("  %1\n").arg(QLatin1String(c.synopsis));
    text += QStringLiteral("\n'tolva-cli COMMAND --help' tells more about a command.\n");
    text += QLatin1String(kOverviewSections);
    return text;
}

QString commandHelp(const CommandHelp& c)
{
    return QStringLiteral("Usage: tolva-cli [--dir DIR] %1\n\n%2\n\n"
                          "  --dir DIR   the folder that holds YEARS (default: the current directory)\n"
                          "  -h, --help  this text\n")
        .arg(QLatin1String(c.synopsis), QLatin1String(c.text));
}

bool parseYear(const QString& text, int& year)
{
    bool ok = false;
    year = text.toInt(&ok);
    return ok && year >= Calendar::kFirstYear && year <= Calendar::kLastYear;
}

bool parseSize(const QString& text, QSize& size)
{
    static const QRegularExpression re(QStringLiteral("^([0-9]{1,6})x([0-9]{1,6})$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    size = QSize(m.captured(1).toInt(), m.captured(2).toInt());
    return size.width() >= 1 && size.height() >= 1 && size.width() <= CliRunner::kMaxRenderSide &&
           size.height() <= CliRunner::kMaxRenderSide;
}

bool parsePoint(const QString& text, QPoint& point)
{
    static const QRegularExpression re(QStringLiteral("^(-?[0-9]{1,7}),(-?[0-9]{1,7})$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    point = QPoint(m.captured(1).toInt(), m.captured(2).toInt());
    return true;
}

const QCommandLineOption kDirOption(QStringLiteral("dir"), QString(), QStringLiteral("DIR"));
const QCommandLineOption kHelpOption(QStringList{QStringLiteral("h"), QStringLiteral("help")});

} // namespace

CliRunner::CliRunner(QTextStream& out, QTextStream& err) : m_out(out), m_err(err) {}

int CliRunner::fail(const QString& message)
{
    m_err << QStringLiteral("tolva-cli: ") << message << '\n';
    m_err.flush();
    return kFailed;
}

int CliRunner::usage(const QString& message, const QString& command)
{
    m_err << QStringLiteral("tolva-cli: ") << message << QStringLiteral(" (see 'tolva-cli ")
          << (command.isEmpty() ? QString() : command + QLatin1Char(' ')) << QStringLiteral("--help')\n");
    m_err.flush();
    return kUsage;
}

namespace {

// The command is the first argument that is neither an option nor the value of --dir.
qsizetype commandIndex(const QStringList& arguments)
{
    qsizetype at = 1;
    while (at < arguments.size()) {
        const QString& a = arguments.at(at);
        if (a == QLatin1String("--dir"))
            at += 2;
        else if (a.startsWith(QLatin1Char('-')))
            ++at;
        else
            break;
    }
    return at;
}

} // namespace

namespace {

// The value of --dir wherever it stands, as the commands' parsers read it; the last one counts.
bool dirArgument(const QStringList& arguments, QString& dir)
{
    bool given = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == QLatin1String("--"))
            break;
        if (a == QLatin1String("--dir") || a == QLatin1String("-dir")) {
            if (i + 1 < arguments.size()) {
                dir = arguments.at(++i);
                given = true;
            }
        } else if (a.startsWith(QLatin1String("--dir=")) || a.startsWith(QLatin1String("-dir="))) {
            dir = a.mid(a.indexOf(QLatin1Char('=')) + 1);
            given = true;
        }
    }
    return given;
}

} // namespace

bool CliRunner::checkDataFolder(const QStringList& arguments)
{
    QString dir;
    if (dirArgument(arguments, dir)) {
        // A mistyped --dir is an error, not an empty planner; and no command makes it.
        const QFileInfo info(dir);
        if (!info.exists()) {
            fail(QStringLiteral("%1: no such folder").arg(dir));
            return false;
        }
        if (!info.isDir()) {
            fail(QStringLiteral("%1: not a folder").arg(dir));
            return false;
        }
        return true;
    }
    if (!FolderName::currentDirectory(dir)) {
        fail(dir.isEmpty() ? QStringLiteral("the current directory cannot be read")
                           : QStringLiteral("the current directory: %1").arg(FolderName::notNameable(dir)));
        return false;
    }
    return true;
}

bool CliRunner::needsFonts(const QStringList& arguments)
{
    const qsizetype at = commandIndex(arguments);
    return at < arguments.size() && arguments.at(at) == QLatin1String("render");
}

int CliRunner::run(const QStringList& arguments)
{
    const qsizetype at = commandIndex(arguments);
    if (at >= arguments.size()) {
        if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
            m_out << overview();
            return 0;
        }
        if (arguments.contains(QLatin1String("--version"))) {
            m_out << QStringLiteral("tolva-cli " TOLVA_VERSION "\n");
            return 0;
        }
        m_err << overview();
        return kUsage;
    }
    const QString name = arguments.at(at);
    const CommandHelp* command = findCommand(name);
    if (!command)
        return usage(QStringLiteral("unknown command \"%1\"").arg(name), QString());

    QStringList rest = arguments;
    rest.removeAt(at);
    if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h"))) {
        m_out << commandHelp(*command);
        return 0;
    }

    if (!checkDataFolder(rest))
        return kFailed;

    if (name == QLatin1String("dump"))
        return dump(rest);
    if (name == QLatin1String("render"))
        return render(rest);
    if (name == QLatin1String("status"))
        return status(rest);
    if (name == QLatin1String("export-ics"))
        return exportIcs(rest);
    if (name == QLatin1String("import-ics"))
        return importIcs(rest);
    if (name == QLatin1String("publish"))
        return CalDavSync(m_out, m_err).publish(rest);
    if (name == QLatin1String("sync"))
        return CalDavSync(m_out, m_err).sync(rest);
    if (name == QLatin1String("pull"))
        return CalDavSync(m_out, m_err).pull(rest);
    if (name == QLatin1String("account"))
        return AccountCommand(m_out, m_err).run(rest);
    return check(rest);
}

namespace {

// Parses `args` with the command's options and --dir; on failure `error` says why.
bool parseCommand(QCommandLineParser& parser, const QStringList& args,
                  const QList<QCommandLineOption>& options, int positionals, QString& error)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(kDirOption);
    parser.addOption(kHelpOption);
    for (const QCommandLineOption& o : options)
        parser.addOption(o);
    if (!parser.parse(args)) {
        error = parser.errorText();
        return false;
    }
    if (parser.positionalArguments().size() != positionals) {
        error = parser.positionalArguments().size() < positionals ? QStringLiteral("missing arguments")
                                                                  : QStringLiteral("too many arguments");
        return false;
    }
    return true;
}

QString directoryOf(const QCommandLineParser& parser)
{
    return parser.isSet(kDirOption) ? parser.value(kDirOption) : QDir::currentPath();
}

} // namespace

bool CliRunner::readYear(YearReader& reader, int year)
{
    if (reader.read(year))
        return true;
    const StoreResult& p = reader.problem();
    fail(QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(p.path), p.reason) +
         (p.status == StoreResult::Status::Damaged
              ? QStringLiteral(" (the file is damaged; see tolva-cli check)")
              : QString()));
    return false;
}

int CliRunner::dump(const QStringList& args)
{
    QCommandLineParser parser;
    QString error;
    if (!parseCommand(parser, args, {}, 1, error))
        return usage(error, QStringLiteral("dump"));
    int year = 0;
    if (!parseYear(parser.positionalArguments().at(0), year))
        return usage(QStringLiteral("YEAR must be a year from 1 to 9999"), QStringLiteral("dump"));
    YearReader reader(directoryOf(parser));
    if (!readYear(reader, year))
        return kFailed;
    m_out << QString::fromUtf8(
        QJsonDocument(YearJson::toJson(reader.year(), reader.storedSelection(), reader.everyYear()))
            .toJson(QJsonDocument::Indented));
    return 0;
}

int CliRunner::render(const QStringList& args)
{
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("FILE"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QString(), QStringLiteral("WxH"));
    QCommandLineParser parser;
    QString error;
    if (!parseCommand(parser, args, {output, sizeOption}, 1, error))
        return usage(error, QStringLiteral("render"));
    int year = 0;
    if (!parseYear(parser.positionalArguments().at(0), year))
        return usage(QStringLiteral("YEAR must be a year from 1 to 9999"), QStringLiteral("render"));
    if (!parser.isSet(output))
        return usage(QStringLiteral("-o FILE is missing"), QStringLiteral("render"));
    QSize size = YearRenderer::kDefaultSize;
    if (parser.isSet(sizeOption) && !parseSize(parser.value(sizeOption), size))
        return usage(QStringLiteral("--size must be WIDTHxHEIGHT, each from 1 to %1").arg(kMaxRenderSide),
                     QStringLiteral("render"));
    const QString path = parser.value(output);
    if (YearRenderer::formatFor(path) == YearRenderer::Format::Unknown)
        return usage(QStringLiteral("%1: the file name must end in .png, .pdf or .svg").arg(path),
                     QStringLiteral("render"));

    YearReader reader(directoryOf(parser));
    if (!readYear(reader, year))
        return kFailed;
    const DisplaySettings settings = reader.viewSettings();
    if (!YearRenderer(settings, reader.year()).write(path, size, error))
        return fail(error);
    return 0;
}

int CliRunner::status(const QStringList& args)
{
    const QCommandLineOption sizeOption(QStringLiteral("size"), QString(), QStringLiteral("WxH"));
    const QCommandLineOption atOption(QStringLiteral("at"), QString(), QStringLiteral("X,Y"));
    QCommandLineParser parser;
    QString error;
    if (!parseCommand(parser, args, {sizeOption, atOption}, 1, error))
        return usage(error, QStringLiteral("status"));
    int year = 0;
    if (!parseYear(parser.positionalArguments().at(0), year))
        return usage(QStringLiteral("YEAR must be a year from 1 to 9999"), QStringLiteral("status"));
    QSize size;
    if (!parser.isSet(sizeOption) || !parseSize(parser.value(sizeOption), size))
        return usage(QStringLiteral("--size WIDTHxHEIGHT is needed, each from 1 to %1").arg(kMaxRenderSide),
                     QStringLiteral("status"));
    QPoint at;
    if (!parser.isSet(atOption) || !parsePoint(parser.value(atOption), at))
        return usage(QStringLiteral("--at X,Y is needed"), QStringLiteral("status"));

    YearReader reader(directoryOf(parser));
    if (!readYear(reader, year))
        return kFailed;
    std::optional<QString> text;
    try {
        text = g_pYearPainter->StatusText(size, reader.viewSettings(), reader.year(), at);
    } catch (const InvalidArgument&) {
        // As in the window: a list too short for the day clears the pane.
        text = QString();
    }
    if (!text) {
        m_err << QStringLiteral("tolva-cli: this year's settings turn the status information off\n");
        return 0;
    }
    m_out << *text << '\n';
    return 0;
}

int CliRunner::exportIcs(const QStringList& args)
{
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")}, QString(),
                                    QStringLiteral("FILE"));
    QCommandLineParser parser;
    QString error;
    if (!parseCommand(parser, args, {output}, 1, error))
        return usage(error, QStringLiteral("export-ics"));
    int year = 0;
    if (!parseYear(parser.positionalArguments().at(0), year))
        return usage(QStringLiteral("YEAR must be a year from 1 to 9999"), QStringLiteral("export-ics"));

    YearReader reader(directoryOf(parser));
    if (!readYear(reader, year))
        return kFailed;
    QStringList notes;
    const QList<CalendarEvent> events = CalendarExport::events(reader.year(), notes);
    QString zoneNote;
    const QByteArray text = ICalendarFile::write(events, QTimeZone::systemTimeZoneId(),
                                                 QDateTime::currentDateTimeUtc(), zoneNote);
    if (!zoneNote.isEmpty())
        notes << zoneNote;
    for (const QString& note : notes)
        m_err << QStringLiteral("tolva-cli: ") << note << '\n';

    // Standard output is checked as the program ends (main); a file here.
    if (!parser.isSet(output) || OutputFile::isStandardOutput(parser.value(output))) {
        m_out << QString::fromUtf8(text);
        return 0;
    }
    if (!OutputFile::write(parser.value(output), text, error))
        return fail(error);
    return 0;
}

int CliRunner::importIcs(const QStringList& args)
{
    const QCommandLineOption replace(QStringLiteral("replace"));
    QCommandLineParser parser;
    QString error;
    if (!parseCommand(parser, args, {replace}, 2, error))
        return usage(error, QStringLiteral("import-ics"));
    int year = 0;
    if (!parseYear(parser.positionalArguments().at(1), year))
        return usage(QStringLiteral("YEAR must be a year from 1 to 9999"), QStringLiteral("import-ics"));
    const int status = HolidayImport::run(directoryOf(parser), parser.positionalArguments().at(0), year,
                                          parser.isSet(replace), m_out, m_err);
    m_out.flush();
    m_err.flush();
    return status;
}

int CliRunner::check(const QStringList& args)
{
    QCommandLineParser parser;
    QString error;
    if (!parseCommand(parser, args, {}, 0, error))
        return usage(error, QStringLiteral("check"));
    const QString years = QDir(directoryOf(parser)).filePath(QStringLiteral("YEARS"));
    QList<FolderCheck::Entry> entries;
    if (!FolderCheck::check(years, entries, error))
        return fail(error);
    int damaged = 0;
    for (const FolderCheck::Entry& e : entries) {
        switch (e.verdict) {
        case FolderCheck::Verdict::Sound:
            m_out << e.name << QStringLiteral(": sound\n");
            break;
        case FolderCheck::Verdict::Damaged:
            m_out << e.name << QStringLiteral(": damaged: ") << e.reason << '\n';
            ++damaged;
            break;
        case FolderCheck::Verdict::NotData:
            m_out << e.name << QStringLiteral(": not a data file, not read\n");
            break;
        }
    }
    m_out.flush();
    if (damaged > 0)
        return fail(QStringLiteral("%1 of the files in %2 %3 damaged")
                        .arg(damaged)
                        .arg(QDir::toNativeSeparators(years),
                             damaged == 1 ? QStringLiteral("is") : QStringLiteral("are")));
    return 0;
}
