#include "ProjectIdentity.h"

#include "CalendarExport.h"

#include <QSet>
#include <QUuid>

#include <cstdlib>
#include <functional>

namespace {

bool sameDays(const CalendarEvent& a, const CalendarEvent& b)
{
    return a.start == b.start && a.endExclusive == b.endExclusive;
}

bool sameColor(const CalendarEvent& a, const CalendarEvent& b)
{
    return a.hasColor == b.hasColor && (!a.hasColor || a.color == b.color);
}

} // namespace

QString ProjectIdentity::newUid(int year)
{
    return QStringLiteral("%1-project-%2@tolva")
        .arg(year)
        .arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
}

QStringList ProjectIdentity::match(const QList<Project>& now, const QList<Known>& known, int year)
{
    using Rule = std::function<bool(const Project&, const Known&)>;
    const QList<Rule> rules{
        [](const Project& p, const Known& k) {
            return p.event.summary == k.event.summary && sameDays(p.event, k.event) &&
                   sameColor(p.event, k.event) && p.event.ticks == k.event.ticks;
        },
        [](const Project& p, const Known& k) {
            return sameDays(p.event, k.event) && sameColor(p.event, k.event);
        },
        [](const Project& p, const Known& k) { return p.event.summary == k.event.summary; },
        [](const Project& p, const Known& k) { return sameDays(p.event, k.event); },
        [](const Project& p, const Known& k) { return p.position == k.position; },
    };
    QStringList uids(now.size());
    QList<bool> taken(known.size(), false);
    for (const Rule& rule : rules) {
        for (qsizetype i = 0; i < now.size(); ++i) {
            if (!uids.at(i).isEmpty())
                continue;
            qsizetype best = -1;
            for (qsizetype k = 0; k < known.size(); ++k) {
                if (taken.at(k) || !rule(now.at(i), known.at(k)))
                    continue;
                if (best < 0 || std::abs(known.at(k).position - now.at(i).position) <
                                    std::abs(known.at(best).position - now.at(i).position))
                    best = k;
            }
            if (best >= 0) {
                taken[best] = true;
                uids[i] = known.at(best).uid;
            }
        }
    }
    // A new project takes the UID of its position while no other event has it, as export-ics names it.
    QSet<QString> used(uids.begin(), uids.end());
    for (const Known& k : known)
        used.insert(k.uid);
    for (qsizetype i = 0; i < now.size(); ++i) {
        if (!uids.at(i).isEmpty())
            continue;
        const QString positional = CalendarExport::positionalProjectUid(year, now.at(i).position);
        uids[i] = used.contains(positional) ? newUid(year) : positional;
        used.insert(uids.at(i));
    }
    return uids;
}
