#include "store/ZvDateTime.h"

#include <cmath>

namespace zv {

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
} // namespace

TDateTime EncodeDateTime(const QDate& date, const QTime& time)
{
    const double days = double(kEpoch.daysTo(date));
    const double frac = double(QTime(0, 0).msecsTo(time)) / kMsPerDay;
    // Before the epoch the fraction still counts forward within the day.
    return days >= 0 ? days + frac : days - frac;
}

TDateTime DateTimeFromQ(const QDateTime& local)
{
    const QDateTime l = local.toLocalTime();
    return EncodeDateTime(l.date(), l.time());
}

QDate DateOf(TDateTime value)
{
    return kEpoch.addDays(qint64(std::trunc(value)));
}

int CalendarDay(TDateTime value)
{
    return int(std::trunc(value));
}

QDateTime QFromDateTime(TDateTime value)
{
    // Rounding may carry the time past midnight: recompute from whole milliseconds.
    const double frac = std::fabs(value - std::trunc(value));
    const qint64 ms = qint64(std::llround(frac * kMsPerDay));
    QDate date = DateOf(value);
    if (ms >= qint64(kMsPerDay)) return QDateTime(date.addDays(1), QTime(0, 0));
    return QDateTime(date, QTime(0, 0).addMSecs(int(ms)));
}

static qint64 toMs(TDateTime v)
{
    const double day = std::trunc(v);
    const double frac = std::fabs(v - day);
    return qint64(day) * qint64(kMsPerDay) + qint64(std::llround(frac * kMsPerDay));
}

static TDateTime fromMs(qint64 ms)
{
    qint64 day = ms / qint64(kMsPerDay);
    qint64 rest = ms % qint64(kMsPerDay);
    if (rest < 0) {
        rest += qint64(kMsPerDay);
        --day;
    }
    const double frac = double(rest) / kMsPerDay;
    return day >= 0 ? double(day) + frac : double(day) - frac;
}

qint64 MillisecondsBetween(TDateTime a, TDateTime b)
{
    return toMs(b) - toMs(a);
}

TDateTime AddMilliseconds(TDateTime value, qint64 ms)
{
    return fromMs(toMs(value) + ms);
}

} // namespace zv
