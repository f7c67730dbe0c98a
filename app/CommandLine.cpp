#include "CommandLine.h"

namespace {

bool isHelp(const QString& a)
{
    return a == QLatin1String("--help") || a == QLatin1String("-h") || a == QLatin1String("-?");
}

bool isVersion(const QString& a)
{
    return a == QLatin1String("--version") || a == QLatin1String("-v");
}

} // namespace

QString CommandLine::helpText()
{
    return QStringLiteral(
        "Usage: tolva [OPTION]... [FILE]...\n"
        "\n"
        "A year planner for the desktop: the whole year in one window, with projects, red days, a memo and "
        "an "
        "alarm for every day. Everything is stored in YEARS in the directory Tolva is started in.\n"
        "\n"
        "Options:\n"
        "  -h, --help     show this help and exit\n"
        "  -v, --version  show the version and exit\n"
        "  --             take every later argument as a FILE\n"
        "  -platform NAME, -style NAME, -reverse  Qt's standard options, see the Qt documentation\n"
        "\n"
        "Arguments:\n"
        "  FILE  each opens a fresh year window, as File > Open does; the file itself is not read. Without a "
        "FILE the year windows open last time are shown again, or the current year at the first start.\n"
        "\n"
        "Files:\n"
        "  YEARS/NNNN.year  one year's settings, projects, marks, red days, memos and alarms (NNNN is the "
        "year)\n"
        "  YEARS/YearDefaults.year  the display settings a year without a file starts with\n"
        "  YEARS/ForeverRedDays.year  the red days that repeat every year\n"
        "  YEARS/*.damaged-*  a damaged file set aside before anything overwrote it\n"
        "  ~/.config/Quillmoor/Tolva.conf  window size and place, the open years, the printer's page "
        "orientation, the recent files\n"
        "\n"
        "Environment:\n"
        "  TZ  the time zone of alarms and of today\n"
        "  DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM  where the windows go; without any of them Tolva says "
        "so and exits\n"
        "  QT_SCALE_FACTOR  scales the whole user interface\n"
        "\n"
        "Exit status:\n"
        "  0  the planner ran and every year was saved, or help or version was shown\n"
        "  1  no display, the first year window could not be made, or data could not be saved when stopped\n"
        "  2  a command line Tolva does not understand, or another Tolva already uses this YEARS folder\n"
        "\n"
        "Examples:\n"
        "  tolva  start in the current directory, data in ./YEARS\n"
        "  cd ~/planner && tolva  keep the planner's data in ~/planner/YEARS\n"
        "  xvfb-run -s '-screen 0 1600x1000x24' tolva  run on a virtual display\n");
}

QString CommandLine::versionText()
{
    return QStringLiteral("tolva " TOLVA_VERSION "\n");
}

CommandLine::Outcome CommandLine::decide(const QStringList& arguments, bool qtOptionsRemoved)
{
    for (const QString& a : arguments) {
        if (a == QLatin1String("--"))
            break;
        if (isHelp(a))
            return {Action::Answer, helpText()};
        if (isVersion(a))
            return {Action::Answer, versionText()};
        if (qtOptionsRemoved && a.startsWith(QLatin1Char('-')) && a.size() > 1)
            return {Action::Refuse, QStringLiteral("tolva: unknown option %1 (see 'tolva --help')\n").arg(a)};
    }
    return {};
}
