#pragma once

#include "Calendar.h"
#include "ProjectRecord.h"
#include "RecordList.h"

#include <cstdint>
#include <limits>
#include <vector>

// Which projects draw a long line through a day: Calendar::periodCoversDay with each period's ends turned
// into serial seconds once per paint rather than once per cell and project.
class ProjectPeriods
{
public:
    explicit ProjectPeriods(const RecordList<ProjectRecord>& projects)
    {
        m_periods.reserve(std::size_t(projects.count()));
        for (const ProjectRecord& p : projects) {
            Period period;
            if (p.m_bLongLine && p.m_stEnd.wYear >= 1900) {
                period.from = p.m_stStart.wYear < 1900 ? std::numeric_limits<std::int64_t>::min()
                                                       : Calendar::serialSeconds(p.m_stStart);
                period.to = Calendar::serialSeconds(p.m_stEnd);
            }
            m_periods.push_back(period);
        }
    }

    // Whether project i has a long line through the day that begins at this midnight (serial seconds).
    bool hasLineAt(qsizetype i, std::int64_t midnight) const
    {
        const Period& p = m_periods[std::size_t(i)];
        return p.from <= midnight && midnight <= p.to;
    }

private:
    struct Period
    {
        std::int64_t from = 0; // empty unless the project has a long line
        std::int64_t to = -1;
    };
    std::vector<Period> m_periods;
};
