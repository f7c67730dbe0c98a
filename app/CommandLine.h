#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What `tolva` answers on its own command line before any window or file exists. --help and --version
// are answered on standard output and nothing else happens (no display needed, no YEARS made). The help
// text is also the source of the manual page, so its layout is fixed: a "Usage:" line, a paragraph, then
// sections whose title ends in ':' at the start of a line, each entry indented by two spaces with its
// term and its text apart by two spaces or more.
class CommandLine
{
public:
    enum class Action {
        Run,    // start the planner
        Answer, // print `text` on standard output, exit 0
        Refuse, // print `text` on standard error, exit 2
    };
    struct Outcome
    {
        Action action = Action::Run;
        QString text;
    };

    static constexpr int kUsageError = 2;

    // `arguments` without the program name. Qt's own options (-platform, -style, ...) must already be
    // gone when `qtOptionsRemoved`; before that, only --help and --version are looked for.
    static Outcome decide(const QStringList& arguments, bool qtOptionsRemoved);

    static QString helpText();
    static QString versionText();
};
