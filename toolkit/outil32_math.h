// Bit masks and the date-time value: days since 30 December 1899, local time.
#pragma once

#include <QDateTime>

bool HasFlags(int value, int mask);

// Days since 30 December 1899 00:00 local time, the time of day as the fraction. 0 stands for
// a missing time stamp, which callers recognise by its year below 1900.
struct DateTimeValue {
    double days = 0.0;

    static DateTimeValue fromDateTime(const QDateTime& local);
    QDateTime toDateTime() const; // in local time
    QDate date() const;           // toDateTime().date(), without working out the time zone
    int year() const;
    bool operator==(const DateTimeValue&) const = default;
};
