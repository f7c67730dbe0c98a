#pragma once

#include "CliRunner.h"
#include "DataStore.h"
#include "ForeverRedDays.h"
#include "SampleYears.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

// A data folder to run tolva-cli on, and the two ways of running it: in-process through CliRunner, or the
// built program itself where the exit status, the environment or a second process matters.
namespace CliFixture {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

inline Run runInProcess(const QStringList& args)
{
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    Run r;
    r.status = CliRunner(outStream, errStream).run(QStringList{QStringLiteral("tolva-cli")} + args);
    outStream.flush();
    errStream.flush();
    r.out = out;
    r.err = err;
    return r;
}

inline Run runProgram(const QStringList& args,
                      const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TOLVA_CLI), args);
    Run r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) {
        // status -1: did not finish or crashed; what it said tells why.
        r.err = QString::fromUtf8(p.readAllStandardError());
        qWarning("%s did not end normally: %s", TOLVA_CLI, qPrintable(r.err.right(4000)));
        return r;
    }
    r.status = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The painter's rich sample with what it lacks for the command line: alarms that are on, red days that
// repeat every year (one kept only in ForeverRedDays.year), texts in Windows-1252 and with line breaks.
inline YearData richYear(int year)
{
    YearData data = sampleRichYear(year);
    data.m_settings.m_stSelected = Calendar::makeDate(year, 3, 15);
    const auto day = [year](int month, int d) { return Calendar::dayOfYear(year, month, d); };
    for (int m = 1; m <= 12; m += 2)
        data.m_alarms.at(day(m, 5 + m)).m_bOn = 1;
    data.m_redDays.at(day(12, 25)).m_bEveryYear = 1;
    data.m_redDays.at(day(12, 25)).m_stDate = Calendar::makeDate(year, 12, 25);
    data.m_memos.setAt(day(7, 19), QByteArray("Caf\xe9 au lait\r\nwith cr\xe8me"));
    data.m_names.setAt(0, QByteArray("Caf\xe9"));
    return data;
}

inline ForeverRedDays everyYearDays(int year)
{
    ForeverRedDays f;
    RedDayRecord r{};
    r.m_bEveryYear = 1;
    r.m_stDate = Calendar::makeDate(year, 1, 1);
    f.m_foreverRedDays.append(r);
    f.m_foreverRedTexts.append("New Year");
    r.m_stDate = Calendar::makeDate(year, 12, 25);
    f.m_foreverRedDays.append(r);
    f.m_foreverRedTexts.append("Christmas");
    return f;
}

// Writes `year` and the every-year red days into dir/YEARS the way the planner saves them.
inline void writeFolder(const QString& dir, const YearData& year, const ForeverRedDays& everyYear)
{
    DataStore store;
    QVERIFY(store.CaptureWorkDir(dir).ok());
    QVERIFY(store.saveYear(year).ok());
    QVERIFY(store.saveForeverRedDays(everyYear).ok());
}

inline QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QStringList folderEntries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace CliFixture
