#pragma once

#include <QString>

// One place where Find met its text: a day of a year, what kind of text it was, and that text whole.
struct FindHit
{
    // In the order a day's hits are listed.
    enum class Field { Memo, RedDay, Alarm, Project };

    int year = 0;
    int month = 0;
    int day = 0;
    Field field = Field::Memo;
    QString text;
};
