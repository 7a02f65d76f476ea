#pragma once

#include <QDateTime>

namespace zv {

// The stored date-time: days since 1899-12-30 as a double, the time of day as the
// fraction, local wall-clock time without zone. 0 means "never set".
using TDateTime = double;

// Days/fraction convention of negative values: the integer part is the day, the
// fraction (taken without sign) the time of day, so -1.25 is 1899-12-29 06:00.
TDateTime EncodeDateTime(const QDate& date, const QTime& time);
TDateTime DateTimeFromQ(const QDateTime& local);
QDateTime QFromDateTime(TDateTime value); // local, Qt::LocalTime
QDate DateOf(TDateTime value);
int CalendarDay(TDateTime value); // whole day number, for "before today" comparisons

// Milliseconds between two values (b - a), exact enough for reminder comparisons.
qint64 MillisecondsBetween(TDateTime a, TDateTime b);
TDateTime AddMilliseconds(TDateTime value, qint64 ms);

} // namespace zv
