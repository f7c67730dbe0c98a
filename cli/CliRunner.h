#pragma once

#include <QStringList>
#include <QTextStream>

// The commands of tolva-cli over a data folder: YEARS in the current directory or in the folder given with
// --dir. Only import-ics writes to it. Errors are one line on `err` and a non-zero status: 1 when a command
// fails (or check finds damage), 2 for a command line that cannot be understood.
class CliRunner
{
public:
    CliRunner(QTextStream& out, QTextStream& err);

    // `arguments` as main() gets them, the program first.
    int run(const QStringList& arguments);
    // Whether the command in `arguments` paints, and so needs a QGuiApplication for its fonts.
    static bool needsFonts(const QStringList& arguments);

    static constexpr int kFailed = 1;
    static constexpr int kUsage = 2;
    // Larger pictures are refused before anything is allocated.
    static constexpr int kMaxRenderSide = 16384;

private:
    int dump(const QStringList& args);
    int render(const QStringList& args);
    int status(const QStringList& args);
    int exportIcs(const QStringList& args);
    int importIcs(const QStringList& args);
    int check(const QStringList& args);

    int fail(const QString& message);
    int usage(const QString& message, const QString& command);
    bool readYear(class YearReader& reader, int year);
    // A --dir that names no folder, or a current directory that cannot be named, is a failure.
    bool checkDataFolder(const QStringList& arguments);

    QTextStream& m_out;
    QTextStream& m_err;
    QString m_dir;
};
