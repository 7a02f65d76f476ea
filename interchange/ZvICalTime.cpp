// Times in iCalendar: the store's values as seconds, the rules of a zone, and the context
// that turns a file's times into the local wall clock and back.

#include "interchange/ZvICalendar.h"

#include "interchange/ZvICalParts.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QDate>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zv {

namespace {

constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 counted from 1899-12-30
// Instants far outside the years 0001-9999: no arithmetic on them can overflow.
constexpr qint64 kFarPast = -62200000000LL;
constexpr qint64 kFarFuture = 253500000000LL;

qint64 secondsOfDay(const QDate& date)
{
    return (date.toJulianDay() - kUnixEpochJulianDay) * kSecondsPerDay;
}

const qint64 kFirstSecond = secondsOfDay(QDate(1, 1, 1));
const qint64 kLastSecond = secondsOfDay(QDate(9999, 12, 31)) + kSecondsPerDay - 1;

bool inStoreRange(qint64 seconds)
{
    return seconds >= kFirstSecond && seconds <= kLastSecond;
}

} // namespace

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// The fields of a DATE or DATE-TIME as seconds since 1970 on its own clock; nothing for
// fields outside the calendar or the years 0001-9999.
std::optional<qint64> secondsOf(const icaltimetype& t)
{
    if (t.year < 1 || t.year > 9999) return std::nullopt;
    const QDate date(t.year, t.month, t.day);
    if (!date.isValid()) return std::nullopt;
    if (t.is_date) return secondsOfDay(date);
    if (t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60)
        return std::nullopt;
    // A leap second is the last second of its minute.
    return secondsOfDay(date) + t.hour * 3600 + t.minute * 60 + std::min(t.second, 59);
}

// A property with a UTC DATE-TIME, or a DATE. Made from text: the library's own
// constructors refuse years after 3000, its parser takes them all.
icalproperty* timeProperty(icalproperty_kind kind, qint64 utcSeconds)
{
    const qint64 day = floorDiv(utcSeconds, kSecondsPerDay);
    const qint64 rest = utcSeconds - day * kSecondsPerDay;
    const QDate date = QDate::fromJulianDay(day + kUnixEpochJulianDay);
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02dZ", date.year(), date.month(), date.day(),
                  int(rest / 3600), int(rest / 60 % 60), int(rest % 60));
    icalproperty* p = icalproperty_new(kind);
    icalproperty_set_value(p, icalvalue_new_from_string(ICAL_DATETIME_VALUE, text));
    return p;
}

icalproperty* dateProperty(icalproperty_kind kind, const QDate& date)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04d%02d%02d", date.year(), date.month(), date.day());
    icalproperty* p = icalproperty_new(kind);
    icalproperty_set_value(p, icalvalue_new_from_string(ICAL_DATE_VALUE, text));
    return p;
}

qint64 durationSeconds(const icaldurationtype& d)
{
    const qint64 s = (qint64(d.weeks) * 7 + d.days) * kSecondsPerDay + qint64(d.hours) * 3600 +
                     qint64(d.minutes) * 60 + d.seconds;
    return d.is_neg ? -s : s;
}

namespace {

// Only names of the zone database's form reach the system's zone data (it opens a file
// named after the zone).
bool plausibleZoneName(const QByteArray& name)
{
    if (name.isEmpty() || name.size() > 64 || name.contains("..")) return false;
    return std::all_of(name.begin(), name.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
               ch == '/' || ch == '_' || ch == '+' || ch == '-';
    });
}

// The system's zone that a TZID names: the zone database's name as it is, behind a
// prefix ("/mozilla.org/20050126_1/Europe/Berlin", "/freeassociation.sourceforge.net/..."),
// or a Windows zone name.
QTimeZone systemZoneNamed(const QByteArray& tzid)
{
    for (qsizetype from = 0; from >= 0 && from < tzid.size();) {
        const QByteArray name = tzid.mid(from);
        if (plausibleZoneName(name) && name.front() != '/') {
            const QTimeZone zone(name);
            if (zone.isValid()) return zone;
        }
        const qsizetype slash = tzid.indexOf('/', from);
        from = slash < 0 ? -1 : slash + 1;
    }
    const QByteArray iana = QTimeZone::windowsIdToDefaultIanaId(tzid);
    return iana.isEmpty() ? QTimeZone() : QTimeZone(iana);
}

// Rules the library expands year by year without a bound are refused: a yearly rule that
// picks one day a year is what time zones use. It expands every year from a part's start,
// so a part starts in the Gregorian calendar (1583) or later.
bool tameTimeZone(icalcomponent* vtimezone)
{
    const auto listLength = [](const short* list, int size) {
        int n = 0;
        while (n < size && list[n] != ICAL_RECURRENCE_ARRAY_MAX)
            ++n;
        return n;
    };
    int parts = 0, ruled = 0, dates = 0;
    for (icalcomponent* part = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT); part;
         part = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
        if (++parts > 200) return false;
        icalproperty* start = icalcomponent_get_first_property(part, ICAL_DTSTART_PROPERTY);
        if (!start || icalproperty_get_dtstart(start).year < 1583) return false;
        for (icalproperty* p = icalcomponent_get_first_property(part, ICAL_ANY_PROPERTY); p;
             p = icalcomponent_get_next_property(part, ICAL_ANY_PROPERTY)) {
            if (icalproperty_isa(p) == ICAL_RDATE_PROPERTY && ++dates > 2000) return false;
            if (icalproperty_isa(p) != ICAL_RRULE_PROPERTY) continue;
            const icalrecurrencetype rule = icalproperty_get_rrule(p);
            if (++ruled > 8 || rule.freq != ICAL_YEARLY_RECURRENCE) return false;
            if (listLength(rule.by_second, ICAL_BY_SECOND_SIZE) ||
                listLength(rule.by_minute, ICAL_BY_MINUTE_SIZE) ||
                listLength(rule.by_hour, ICAL_BY_HOUR_SIZE) ||
                listLength(rule.by_year_day, ICAL_BY_YEARDAY_SIZE) ||
                listLength(rule.by_week_no, ICAL_BY_WEEKNO_SIZE) ||
                listLength(rule.by_set_pos, ICAL_BY_SETPOS_SIZE) ||
                listLength(rule.by_month, ICAL_BY_MONTH_SIZE) > 1 ||
                listLength(rule.by_day, ICAL_BY_DAY_SIZE) > 1 ||
                listLength(rule.by_month_day, ICAL_BY_MONTHDAY_SIZE) > 7)
                return false;
        }
    }
    return true;
}

} // namespace

// ---- Zone rules -------------------------------------------------------------------------

TZvZoneRules::TZvZoneRules(const QTimeZone& zone) : m_zone(zone.isValid() ? zone : QTimeZone::utc())
{
    const QDateTime from(QDate(1800, 1, 1), QTime(0, 0), QTimeZone::utc());
    const QDateTime to(QDate(2400, 1, 1), QTime(0, 0), QTimeZone::utc());
    m_from = from.toSecsSinceEpoch();
    m_to = to.toSecsSinceEpoch();
    m_offsetBefore = m_zone.offsetFromUtc(from);
    if (!m_zone.hasTransitions()) return;
    // One change after the other: the list of all changes in a range ends with the zone
    // data's explicit ones (2037), the next change is found by the zone's rule too.
    for (QDateTime at = from;;) {
        QTimeZone::OffsetData change = m_zone.nextTransition(at);
        // Asked at the very moment of the last explicit change, Qt 6.4 finds none after it.
        if (!change.atUtc.isValid()) change = m_zone.nextTransition(at.addSecs(1));
        if (!change.atUtc.isValid() || change.atUtc <= at || change.atUtc >= to) break;
        m_changes.emplace_back(change.atUtc.toSecsSinceEpoch(), change.offsetFromUtc);
        at = change.atUtc;
    }
}

std::shared_ptr<const TZvZoneRules> TZvZoneRules::of(const QTimeZone& zone)
{
    static QHash<QByteArray, std::shared_ptr<const TZvZoneRules>> made;
    const QByteArray id = zone.isValid() ? zone.id() : QByteArray("UTC");
    std::shared_ptr<const TZvZoneRules>& rules = made[id];
    if (!rules) rules = std::make_shared<const TZvZoneRules>(zone);
    return rules;
}

int TZvZoneRules::offsetAt(qint64 utcSeconds) const
{
    // Before 1800 no zone changed its clocks twice a year: its first offset. After the table,
    // the rules of the same moment a whole number of 400-year cycles (of the calendar, and so
    // of every yearly rule) earlier.
    if (utcSeconds < m_from) return m_offsetBefore;
    if (utcSeconds >= m_to) {
        constexpr qint64 cycle = 146097 * kSecondsPerDay;
        utcSeconds -= (utcSeconds - m_to) / cycle * cycle + cycle;
    }
    const auto next = std::upper_bound(m_changes.begin(), m_changes.end(), utcSeconds,
                                       [](qint64 t, const std::pair<qint64, int>& c) { return t < c.first; });
    return next == m_changes.begin() ? m_offsetBefore : std::prev(next)->second;
}

qint64 TZvZoneRules::wallTimeOf(qint64 utcSeconds) const
{
    return utcSeconds + offsetAt(utcSeconds);
}

qint64 TZvZoneRules::instantOf(qint64 wallSeconds) const
{
    // The offsets in force a day before and a day after: away from a change both are the
    // same; around one, each that really gives this wall time is a candidate.
    const int before = offsetAt(wallSeconds - kSecondsPerDay);
    const int after = offsetAt(wallSeconds + kSecondsPerDay);
    std::optional<qint64> earliest;
    for (const int offset : {before, after}) {
        const qint64 instant = wallSeconds - offset;
        if (offsetAt(instant) == offset && (!earliest || instant < *earliest)) earliest = instant;
    }
    // In the gap the offset before it carries the time forward by the gap.
    return earliest ? *earliest : wallSeconds - before;
}

std::optional<qint64> WallSecondsOf(TDateTime value)
{
    constexpr double firstDay = -693593.0; // 0001-01-01
    constexpr double lastDay = 2958465.0;  // 9999-12-31
    if (!std::isfinite(value) || value <= firstDay - 1.0 || value >= lastDay + 1.0) return std::nullopt;
    const qint64 ms = MillisecondsBetween(kUnixEpochDays, value);
    const qint64 seconds = floorDiv(ms, 1000);
    if (!inStoreRange(seconds)) return std::nullopt;
    return seconds;
}

std::optional<TDateTime> DateTimeOfWallSeconds(qint64 wallSeconds)
{
    if (!inStoreRange(wallSeconds)) return std::nullopt;
    return AddMilliseconds(kUnixEpochDays, wallSeconds * 1000);
}

// ---- Context ----------------------------------------------------------------------------

TZvICalContext::TZvICalContext()
    : TZvICalContext(QTimeZone::systemTimeZone(), Clock::now().toUTC().toSecsSinceEpoch())
{}

TZvICalContext::TZvICalContext(const QTimeZone& local, qint64 nowUtc)
    : m_local(TZvZoneRules::of(local)), m_now(nowUtc)
{
    InitICalLibrary();
}

TZvICalContext::~TZvICalContext()
{
    for (icaltimezone* zone : std::as_const(m_fileZones))
        icaltimezone_free(zone, 1);
}

bool TZvICalContext::addTimeZone(icalcomponent* vtimezone)
{
    TZvICalComponent owned(vtimezone);
    if (!vtimezone || icalcomponent_isa(vtimezone) != ICAL_VTIMEZONE_COMPONENT) return false;
    icalproperty* tzidProperty = firstOf(vtimezone, ICAL_TZID_PROPERTY);
    const QByteArray tzid(tzidProperty ? icalproperty_get_tzid(tzidProperty) : nullptr);
    if (tzid.isEmpty() || m_fileZones.contains(tzid) || m_fileZones.size() >= 32 || !tameTimeZone(vtimezone))
        return false;
    icaltimezone* zone = icaltimezone_new();
    if (!icaltimezone_set_component(zone, owned.get())) {
        icaltimezone_free(zone, 1);
        return false;
    }
    owned.release(); // the zone has it now
    m_fileZones.insert(tzid, zone);
    return true;
}

const TZvZoneRules* TZvICalContext::systemZone(const QByteArray& tzid) const
{
    auto it = m_systemZones.find(tzid);
    if (it == m_systemZones.end()) {
        // A file naming hundreds of zones gets the first ones; the rest read as floating.
        if (m_systemZones.size() >= 64) return nullptr;
        const QTimeZone zone = systemZoneNamed(tzid);
        it = m_systemZones.insert(tzid, zone.isValid() ? TZvZoneRules::of(zone) : nullptr);
    }
    return it.value().get();
}

std::optional<qint64> TZvICalContext::utcOf(TDateTime value) const
{
    const std::optional<qint64> wall = WallSecondsOf(value);
    if (!wall) return std::nullopt;
    const qint64 instant = m_local->instantOf(*wall);
    if (!inStoreRange(instant)) return std::nullopt;
    return instant;
}

std::optional<TZvICalContext::Instant> TZvICalContext::instantOf(icalproperty* property) const
{
    if (!property) return std::nullopt;
    const icalvalue* value = icalproperty_get_value(property);
    if (!value) return std::nullopt;
    // The parser gives every time property of a file, an absolute TRIGGER among them, a
    // DATE or DATE-TIME value (a relative TRIGGER a DURATION, which has no instant).
    icaltimetype t;
    switch (icalvalue_isa(value)) {
    case ICAL_DATE_VALUE:
        t = icalvalue_get_date(value);
        break;
    case ICAL_DATETIME_VALUE:
        t = icalvalue_get_datetime(value);
        break;
    default:
        return std::nullopt;
    }
    const std::optional<qint64> seconds = secondsOf(t);
    if (!seconds) return std::nullopt;
    if (t.is_date) return Instant{*seconds, true};
    if (icaltime_is_utc(t)) return Instant{*seconds, false};
    icalparameter* tzidParameter = icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER);
    const QByteArray tzid(tzidParameter ? icalparameter_get_tzid(tzidParameter) : nullptr);
    if (tzid.isEmpty()) return Instant{*seconds, true};
    if (icaltimezone* zone = m_fileZones.value(tzid)) {
        icaltimetype utc = t;
        utc.zone = nullptr;
        icaltimezone_convert_time(&utc, zone, icaltimezone_get_utc_timezone());
        const std::optional<qint64> converted = secondsOf(utc);
        if (!converted) return std::nullopt;
        return Instant{*converted, false};
    }
    if (const TZvZoneRules* zone = systemZone(tzid)) return Instant{zone->instantOf(*seconds), false};
    return Instant{*seconds, true}; // a zone nobody knows: taken as the local wall clock
}

std::optional<TDateTime> TZvICalContext::localOf(const Instant& instant) const
{
    if (instant.seconds < kFarPast || instant.seconds > kFarFuture) return std::nullopt;
    return DateTimeOfWallSeconds(instant.floating ? instant.seconds : m_local->wallTimeOf(instant.seconds));
}

qint64 TZvICalContext::utcSecondsOf(const Instant& instant) const
{
    if (!instant.floating) return instant.seconds;
    return m_local->instantOf(std::clamp(instant.seconds, kFarPast, kFarFuture));
}

std::optional<TDateTime> TZvICalContext::localOf(icalproperty* property) const
{
    const std::optional<Instant> instant = instantOf(property);
    return instant ? localOf(*instant) : std::nullopt;
}

} // namespace zv
