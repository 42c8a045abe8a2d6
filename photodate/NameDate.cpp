#include "NameDate.h"

#include <QRegularExpression>

namespace photodate {

namespace {

QDateTime valid(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1990 || year > 2099)
        return {};
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

int number(const QRegularExpressionMatch& match, int group) {
    return match.captured(group).toInt();
}

} // namespace

QDateTime NameDate(const QString& fileName) {
    // Most names hold no run of eight digits: they are passed over before any pattern.
    int run = 0;
    int longest = 0;
    for (const QChar c : fileName) {
        run = c.isDigit() ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    if (longest < 4)
        return {};
    // A date and a time written together, the milliseconds of some phones after them.
    static const QRegularExpression compact(
        QStringLiteral("(?<![0-9])([0-9]{4})([0-9]{2})([0-9]{2})[_-]([0-9]{2})([0-9]{2})([0-9]{2})"
                       "(?:[0-9]{3})?(?![0-9])"));
    // With separators: 2021-03-05-10-10-10, 2021-03-05_10-10-10, 2021-03-05 10.10.10.
    static const QRegularExpression dashed(
        QStringLiteral("(?<![0-9])([0-9]{4})-([0-9]{2})-([0-9]{2})[-_ ]([0-9]{2})[-.]([0-9]{2})"
                       "[-.]([0-9]{2})(?![0-9])"));
    // Messaging apps: the day only, then their own count.
    static const QRegularExpression messaging(
        QStringLiteral("^(?:IMG|VID|AUD|PTT|DOC|STK)-([0-9]{4})([0-9]{2})([0-9]{2})-WA[0-9]+"),
        QRegularExpression::CaseInsensitiveOption);
    for (const QRegularExpression* pattern : {&compact, &dashed}) {
        const QRegularExpressionMatch match = pattern->match(fileName);
        if (match.hasMatch())
            return valid(number(match, 1), number(match, 2), number(match, 3), number(match, 4),
                         number(match, 5), number(match, 6));
    }
    const QRegularExpressionMatch match = messaging.match(fileName);
    if (match.hasMatch())
        return valid(number(match, 1), number(match, 2), number(match, 3), 12, 0, 0);
    return {};
}

} // namespace photodate
