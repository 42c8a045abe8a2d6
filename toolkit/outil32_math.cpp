#include "outil32_math.h"

#include <cmath>

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsecsPerDay = 86400000.0;
} // namespace

bool HasFlags(int value, int mask) {
    return (value & mask) == mask;
}

// Before the epoch the whole days count down while the time of day still counts up, so the
// fraction is subtracted there (-1.25 is 29 December 1899 06:00).
DateTimeValue DateTimeValue::fromDateTime(const QDateTime& local) {
    const QDateTime dt = local.toLocalTime();
    const double days = static_cast<double>(kEpoch.daysTo(dt.date()));
    const double fraction = dt.time().msecsSinceStartOfDay() / kMsecsPerDay;
    return DateTimeValue{days < 0 ? days - fraction : days + fraction};
}

namespace {

// The local date and time of day of a value, as written, before any time zone says what instant
// they are.
QDate splitDays(double days, qint64& msecs) {
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    msecs = std::llround(fraction * kMsecsPerDay);
    QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    if (msecs >= static_cast<qint64>(kMsecsPerDay)) {
        msecs -= static_cast<qint64>(kMsecsPerDay);
        date = date.addDays(1);
    }
    return date;
}

} // namespace

QDateTime DateTimeValue::toDateTime() const {
    qint64 msecs = 0;
    const QDate date = splitDays(days, msecs);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs)));
}

QDate DateTimeValue::date() const {
    qint64 msecs = 0;
    return splitDays(days, msecs);
}

int DateTimeValue::year() const {
    return toDateTime().date().year();
}
