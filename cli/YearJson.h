#pragma once

#include <QJsonObject>

struct DisplaySettings;
struct ForeverRedDays;
struct SYSTEMTIME;
struct YearData;

// A year as JSON for `tolva-cli dump`: the settings fields by name (colours as #RRGGBB), the projects, every
// day that holds anything, and the every-year red days. Texts are decoded as the planner decodes them.
// Moments are "YYYY-MM-DDTHH:MM:SS" written from the stored fields as they stand, so a moment that is no
// date (an alarm never set: "0000-00-00T00:00:00") survives the trip.
class YearJson
{
public:
    // `selected` is the stored selected day, which the year's settings do not carry after a load.
    static QJsonObject toJson(const YearData& year, const SYSTEMTIME& selected,
                              const ForeverRedDays& everyYear);

    static QJsonObject settingsToJson(const DisplaySettings& settings);
    static QString momentText(const SYSTEMTIME& st);
};
