#include "interchange/ZvICalendar.h"

#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QDate>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>

namespace zv {

namespace {

constexpr qint64 kSecondsPerDay = 86400;
constexpr qint64 kUnixEpochJulianDay = 2440588;
constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 counted from 1899-12-30
// Instants far outside the years 0001-9999: no arithmetic on them can overflow.
constexpr qint64 kFarPast = -62200000000LL;
constexpr qint64 kFarFuture = 253500000000LL;

qint64 floorDiv(qint64 a, qint64 b)
{
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

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

// ---- Component helpers ------------------------------------------------------------------

// iCalendar text carries no control characters but the tab and the line feed (a CR, which
// the library drops, becomes a line feed), and the library drops some of the others and
// keeps the rest: none goes in, none comes out, so text reads back as it was written.
QString icalText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.removeIf([](QChar ch) {
        const char16_t u = ch.unicode();
        return (u < 0x20 && u != u'\t' && u != u'\n') || u == 0x7F;
    });
    return text;
}

// Blanks at the start and the end of a value do not survive the library's parser: a value
// is written and read without them, so that it reads back as it was written.
QString withoutOuterBlanks(const QString& text)
{
    const auto blank = [](QChar ch) { return ch == QLatin1Char(' ') || ch == QLatin1Char('\t'); };
    qsizetype from = 0, to = text.size();
    while (from < to && blank(text[from]))
        ++from;
    while (to > from && blank(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

QString textOf(const char* s)
{
    return s ? withoutOuterBlanks(icalText(QString::fromUtf8(s))) : QString();
}

// The parts of a component of one kind, collected first: the library walks them with one
// iterator per component, which a removal or a nested walk would disturb.
template <class T, class Kind>
std::vector<T*> partsOf(icalcomponent* c, Kind kind, T* (*first)(icalcomponent*, Kind),
                        T* (*next)(icalcomponent*, Kind))
{
    std::vector<T*> found;
    for (T* part = first(c, kind); part; part = next(c, kind))
        found.push_back(part);
    return found;
}

std::vector<icalproperty*> propertiesOf(icalcomponent* c, icalproperty_kind kind)
{
    return partsOf(c, kind, icalcomponent_get_first_property, icalcomponent_get_next_property);
}

std::vector<icalcomponent*> componentsOf(icalcomponent* c, icalcomponent_kind kind)
{
    return partsOf(c, kind, icalcomponent_get_first_component, icalcomponent_get_next_component);
}

icalproperty* firstOf(icalcomponent* c, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(c, kind);
}

void removeProperty(icalcomponent* c, icalproperty* p)
{
    icalcomponent_remove_property(c, p);
    icalproperty_free(p);
}

void removeAll(icalcomponent* c, icalproperty_kind kind)
{
    for (icalproperty* p : propertiesOf(c, kind))
        removeProperty(c, p);
}

// Replaces every property of the kind with `p` (none when null).
void putProperty(icalcomponent* c, icalproperty_kind kind, icalproperty* p)
{
    removeAll(c, kind);
    if (p) icalcomponent_add_property(c, p);
}

std::vector<icalproperty*> xPropertiesNamed(icalcomponent* c, const char* name)
{
    std::vector<icalproperty*> found;
    for (icalproperty* p : propertiesOf(c, ICAL_X_PROPERTY)) {
        const char* x = icalproperty_get_x_name(p);
        if (x && qstricmp(x, name) == 0) found.push_back(p);
    }
    return found;
}

bool isParentLink(icalproperty* p)
{
    icalparameter* type = icalproperty_get_first_parameter(p, ICAL_RELTYPE_PARAMETER);
    return !type || icalparameter_get_reltype(type) == ICAL_RELTYPE_PARENT;
}

icalcomponent* ownedAlarm(icalcomponent* c)
{
    for (icalcomponent* alarm : componentsOf(c, ICAL_VALARM_COMPONENT)) {
        icalproperty* action = firstOf(alarm, ICAL_ACTION_PROPERTY);
        if (action && icalproperty_get_action(action) == ICAL_ACTION_DISPLAY) return alarm;
    }
    return nullptr;
}

const char* const kTextColor = "X-ZORVIK-TEXTCOLOR";
const char* const kBackgroundColor = "X-ZORVIK-BACKGROUNDCOLOR";

// ---- Text ----------------------------------------------------------------------------

// The store's lines end in CR LF, iCalendar's in LF.
QString storeLines(const QString& text)
{
    QString content = icalText(text);
    content.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return content;
}

// A content as the file carries it: its first line the summary, the rest the description,
// each without outer blanks.
std::pair<QString, QString> summaryAndDescription(const QString& content)
{
    const QString text = icalText(content);
    const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
    return {withoutOuterBlanks(text.left(lineEnd)),
            lineEnd < 0 ? QString() : withoutOuterBlanks(text.mid(lineEnd + 1))};
}

// ---- The properties both kinds share -------------------------------------------------------

// The first property of the kind gets the text (its parameters stay), or a new one. An
// empty text removes it: the library reads an empty value as an error.
void putText(icalcomponent* c, icalproperty_kind kind, const QString& text)
{
    icalproperty* p = firstOf(c, kind);
    const QString clean = withoutOuterBlanks(icalText(text));
    if (clean.isEmpty()) {
        if (p) removeProperty(c, p);
        return;
    }
    if (!p) {
        p = icalproperty_new(kind);
        icalcomponent_add_property(c, p);
    }
    icalproperty_set_value(p, icalvalue_new_text(clean.toUtf8().constData()));
}

void putUtc(icalcomponent* c, icalproperty_kind kind, std::optional<qint64> utcSeconds)
{
    putProperty(c, kind, utcSeconds ? timeProperty(kind, *utcSeconds) : nullptr);
}

// UID, the parent link, the text, CREATED, LAST-MODIFIED and DTSTAMP. A component written
// back only in some parts keeps its UID and CREATED as another program wrote them.
template <class R>
void updateCommon(icalcomponent* c, const R& r, const TZvICalContext& context, quint32 parts)
{
    const bool whole = parts == ICalAllParts;
    if (whole || !firstOf(c, ICAL_UID_PROPERTY)) putText(c, ICAL_UID_PROPERTY, r.*TZvRecordKind<R>::id);

    if (parts & ICalPartParent) {
        std::vector<icalproperty*> parents;
        for (icalproperty* p : propertiesOf(c, ICAL_RELATEDTO_PROPERTY))
            if (isParentLink(p)) parents.push_back(p);
        if (r.pid.isEmpty() || r.pid == kRootId) {
            // Every parent link goes: a later one would otherwise read as the parent.
            for (icalproperty* p : parents)
                removeProperty(c, p);
        } else if (!parents.empty()) {
            icalproperty_set_relatedto(parents.front(), icalText(r.pid).toUtf8().constData());
        } else {
            icalproperty* link = icalproperty_new_relatedto(icalText(r.pid).toUtf8().constData());
            icalproperty_add_parameter(link, icalparameter_new_reltype(ICAL_RELTYPE_PARENT));
            icalcomponent_add_property(c, link);
        }
    }

    if (parts & ICalPartText) {
        // The first line is the summary, the rest the first DESCRIPTION (none when empty).
        const auto [summary, description] = summaryAndDescription(r.content);
        putText(c, ICAL_SUMMARY_PROPERTY, summary);
        putText(c, ICAL_DESCRIPTION_PROPERTY, description);
    }

    if (whole || !firstOf(c, ICAL_CREATED_PROPERTY))
        putUtc(c, ICAL_CREATED_PROPERTY, context.utcOf(r.createTime));
    putUtc(c, ICAL_LASTMODIFIED_PROPERTY, context.utcOf(r.editTime));
    putUtc(c, ICAL_DTSTAMP_PROPERTY, context.now());
}

// The id (tid or mid), parent, text and the two times both kinds share.
template <class R> TZvICalRead<R> readCommon(icalcomponent* c, const TZvICalContext& context)
{
    TZvICalRead<R> out;
    R& r = out.record;
    quint32& losses = out.losses;
    r.*TZvRecordKind<R>::id = textOf(icalcomponent_get_uid(c));
    r.pid = kRootId;
    for (icalproperty* p : propertiesOf(c, ICAL_RELATEDTO_PROPERTY)) {
        const QString parent = isParentLink(p) ? textOf(icalproperty_get_relatedto(p)) : QString();
        if (parent.isEmpty()) continue;
        r.pid = parent;
        break;
    }
    QString text;
    if (icalproperty* summary = firstOf(c, ICAL_SUMMARY_PROPERTY))
        text = textOf(icalproperty_get_summary(summary));
    if (icalproperty* description = firstOf(c, ICAL_DESCRIPTION_PROPERTY)) {
        const QString rest = textOf(icalproperty_get_description(description));
        if (!rest.isEmpty()) text += QLatin1Char('\n') + rest;
    }
    // Taken as it would be written again: a summary holding a line break splits elsewhere.
    const auto [summary, description] = summaryAndDescription(text);
    r.content = storeLines(description.isEmpty() ? summary : summary + QLatin1Char('\n') + description);

    // Unreadable values count; a missing one is no loss.
    const auto time = [&](icalproperty_kind kind) -> std::optional<TDateTime> {
        icalproperty* p = firstOf(c, kind);
        if (!p) return std::nullopt;
        const std::optional<TDateTime> t = context.localOf(p);
        if (!t) losses |= LossUnreadable;
        return t;
    };
    const std::optional<TDateTime> created = time(ICAL_CREATED_PROPERTY);
    const std::optional<TDateTime> stamp = time(ICAL_DTSTAMP_PROPERTY);
    const std::optional<TDateTime> modified = time(ICAL_LASTMODIFIED_PROPERTY);
    r.createTime = created ? *created : stamp.value_or(0);
    r.editTime = modified.value_or(r.createTime);
    return out;
}

// What the record cannot keep: `alarm` is the alarm it read (if any), `statusOwned` whether
// its kind reads STATUS, `startUsed` whether DTSTART served it (a memo's own start, a task's
// base of its due time or alarm).
quint32 lossesOf(icalcomponent* c, icalcomponent* alarm, bool statusOwned, bool startUsed)
{
    quint32 losses = 0;
    int descriptions = 0;
    for (icalproperty* p = icalcomponent_get_first_property(c, ICAL_ANY_PROPERTY); p;
         p = icalcomponent_get_next_property(c, ICAL_ANY_PROPERTY)) {
        switch (icalproperty_isa(p)) {
        case ICAL_UID_PROPERTY:
        case ICAL_SUMMARY_PROPERTY:
        case ICAL_RELATEDTO_PROPERTY:
        case ICAL_CREATED_PROPERTY:
        case ICAL_LASTMODIFIED_PROPERTY:
        case ICAL_DTSTAMP_PROPERTY:
        case ICAL_SEQUENCE_PROPERTY:
        case ICAL_CLASS_PROPERTY:
        case ICAL_DUE_PROPERTY:
        case ICAL_DURATION_PROPERTY:
        case ICAL_COMPLETED_PROPERTY:
            break;
        case ICAL_DESCRIPTION_PROPERTY:
            if (++descriptions > 1) losses |= LossOtherDetails;
            break;
        case ICAL_STATUS_PROPERTY:
            if (statusOwned) {
                const icalproperty_status s = icalproperty_get_status(p);
                if (s != ICAL_STATUS_COMPLETED && s != ICAL_STATUS_NEEDSACTION) losses |= LossOtherDetails;
            }
            break;
        case ICAL_PERCENTCOMPLETE_PROPERTY: {
            const int percent = icalproperty_get_percentcomplete(p);
            if (percent > 0 && percent < 100) losses |= LossOtherDetails;
            break;
        }
        case ICAL_DTSTART_PROPERTY:
            if (!startUsed) losses |= LossStartDate;
            break;
        case ICAL_RRULE_PROPERTY:
        case ICAL_RDATE_PROPERTY:
        case ICAL_EXRULE_PROPERTY:
        case ICAL_EXDATE_PROPERTY:
            losses |= LossRepeatRule;
            break;
        case ICAL_CATEGORIES_PROPERTY:
            losses |= LossCategories;
            break;
        case ICAL_PRIORITY_PROPERTY:
            if (icalproperty_get_priority(p) != 0) losses |= LossPriority;
            break;
        case ICAL_ATTACH_PROPERTY:
            losses |= LossAttachments;
            break;
        case ICAL_X_PROPERTY:
            break; // other programs' own bookkeeping
        default: {
            // The library marks a line it could not read with a property of its own.
            const char* name = icalproperty_get_property_name(p);
            losses |= name && qstrnicmp(name, "X-LIC-", 6) == 0 ? LossUnreadable : LossOtherDetails;
        }
        }
    }
    for (icalcomponent* sub = icalcomponent_get_first_component(c, ICAL_ANY_COMPONENT); sub;
         sub = icalcomponent_get_next_component(c, ICAL_ANY_COMPONENT)) {
        if (sub == alarm) continue;
        losses |= icalcomponent_isa(sub) == ICAL_VALARM_COMPONENT ? LossFurtherReminders : LossOtherDetails;
    }
    return losses;
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

// ---- Tasks ------------------------------------------------------------------------------

namespace {

void updateCompletion(icalcomponent* c, const TTaskInfo& r, const TZvICalContext& context)
{
    if (r.checkFlag) {
        putProperty(c, ICAL_STATUS_PROPERTY, icalproperty_new_status(ICAL_STATUS_COMPLETED));
        putUtc(c, ICAL_COMPLETED_PROPERTY, context.utcOf(r.checkTime));
        putProperty(c, ICAL_PERCENTCOMPLETE_PROPERTY, icalproperty_new_percentcomplete(100));
    } else {
        // Another program's "in process" or "cancelled" is not complete either: it stays.
        icalproperty* status = firstOf(c, ICAL_STATUS_PROPERTY);
        if (!status || icalproperty_get_status(status) == ICAL_STATUS_COMPLETED)
            putProperty(c, ICAL_STATUS_PROPERTY, icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
        removeAll(c, ICAL_COMPLETED_PROPERTY);
        for (icalproperty* p : propertiesOf(c, ICAL_PERCENTCOMPLETE_PROPERTY))
            if (icalproperty_get_percentcomplete(p) >= 100) removeProperty(c, p);
    }
}

void updateDue(icalcomponent* c, const TTaskInfo& r)
{
    // The due day; a DURATION would stand for a second due time.
    removeAll(c, ICAL_DURATION_PROPERTY);
    const std::optional<qint64> dueWall = r.dueFlag ? WallSecondsOf(r.dueTime) : std::nullopt;
    if (dueWall) {
        const QDate dueDay = QDate::fromJulianDay(floorDiv(*dueWall, kSecondsPerDay) + kUnixEpochJulianDay);
        putProperty(c, ICAL_DUE_PROPERTY, dateProperty(ICAL_DUE_PROPERTY, dueDay));
    } else {
        removeAll(c, ICAL_DUE_PROPERTY);
    }
}

void updateAlarm(icalcomponent* c, const TTaskInfo& r, const TZvICalContext& context)
{
    // The first DISPLAY alarm. A disarmed reminder that keeps its time is written as
    // acknowledged; one without a time (dismissed) has no alarm at all.
    icalcomponent* alarm = ownedAlarm(c);
    const std::optional<qint64> trigger =
        r.alarmFlag || r.alarmTime != 0 ? context.utcOf(r.alarmTime) : std::nullopt;
    if (!trigger) {
        if (alarm) {
            icalcomponent_remove_component(c, alarm);
            icalcomponent_free(alarm);
        }
    } else {
        if (!alarm) {
            alarm = icalcomponent_new(ICAL_VALARM_COMPONENT);
            icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
            icalcomponent_add_component(c, alarm);
        }
        putUtc(alarm, ICAL_TRIGGER_PROPERTY, trigger);
        // A reminder that shows a text must have one.
        const QString summary = summaryAndDescription(r.content).first;
        putText(alarm, ICAL_DESCRIPTION_PROPERTY,
                summary.isEmpty() ? QCoreApplication::translate("ZvICalendar", "Reminder") : summary);
        if (r.alarmFlag) {
            removeAll(alarm, ICAL_ACKNOWLEDGED_PROPERTY);
        } else {
            const std::optional<TZvICalContext::Instant> acknowledged =
                context.instantOf(firstOf(alarm, ICAL_ACKNOWLEDGED_PROPERTY));
            if (!acknowledged || context.utcSecondsOf(*acknowledged) < *trigger)
                putUtc(alarm, ICAL_ACKNOWLEDGED_PROPERTY, trigger);
        }
    }
}

} // namespace

void TZvRecordKind<TTaskInfo>::icalUpdate(icalcomponent* c, const TTaskInfo& r, const TZvICalContext& context,
                                          quint32 parts)
{
    if (parts & ICalPartCompletion) updateCompletion(c, r, context);
    if (parts & ICalPartDue) updateDue(c, r);
    if (parts & ICalPartAlarm) updateAlarm(c, r, context);
    if (!(parts & ICalPartColors)) return;

    const auto putColor = [c](const char* name, int color) {
        for (icalproperty* p : xPropertiesNamed(c, name))
            removeProperty(c, p);
        if (color == 0) return;
        icalproperty* p = icalproperty_new_x(QByteArray::number(color).constData());
        icalproperty_set_x_name(p, name);
        icalcomponent_add_property(c, p);
    };
    putColor(kTextColor, r.textColor);
    putColor(kBackgroundColor, r.backgroundColor);
}

void TZvRecordKind<TTaskInfo>::icalRead(icalcomponent* c, const TZvICalContext& context,
                                        TZvICalRead<TTaskInfo>& out)
{
    TTaskInfo& r = out.record;
    using Instant = TZvICalContext::Instant;
    const auto instant = [&](icalproperty* p) -> std::optional<Instant> {
        if (!p) return std::nullopt;
        const std::optional<Instant> t = context.instantOf(p);
        if (!t) out.losses |= LossUnreadable;
        return t;
    };

    // Complete: STATUS:COMPLETED, 100 %, or a COMPLETED time without any STATUS.
    icalproperty* status = firstOf(c, ICAL_STATUS_PROPERTY);
    icalproperty* completed = firstOf(c, ICAL_COMPLETED_PROPERTY);
    bool complete = status ? icalproperty_get_status(status) == ICAL_STATUS_COMPLETED : completed != nullptr;
    for (icalproperty* p : propertiesOf(c, ICAL_PERCENTCOMPLETE_PROPERTY))
        complete = complete || icalproperty_get_percentcomplete(p) >= 100;
    r.checkFlag = complete;
    if (complete) {
        // Without its time, the item's own last change, so that reading it twice gives the
        // same row.
        std::optional<TDateTime> when;
        if (const std::optional<Instant> t = instant(completed)) when = context.localOf(*t);
        for (icalproperty_kind kind : {ICAL_LASTMODIFIED_PROPERTY, ICAL_DTSTAMP_PROPERTY})
            if (!when) when = context.localOf(firstOf(c, kind));
        if (!when) when = context.localOf(Instant{context.now(), false});
        r.checkTime = when.value_or(0);
    }

    // The due time, given or as DTSTART + DURATION.
    icalproperty* startProperty = firstOf(c, ICAL_DTSTART_PROPERTY);
    const std::optional<Instant> start = instant(startProperty);
    std::optional<Instant> due = instant(firstOf(c, ICAL_DUE_PROPERTY));
    bool startUsed = false;
    if (!firstOf(c, ICAL_DUE_PROPERTY) && start) {
        if (icalproperty* duration = firstOf(c, ICAL_DURATION_PROPERTY)) {
            due = Instant{start->seconds + durationSeconds(icalproperty_get_duration(duration)),
                          start->floating};
            startUsed = true;
        }
    }
    if (due) {
        if (const std::optional<TDateTime> local = context.localOf(*due)) {
            r.dueFlag = true;
            r.dueTime = *local;
        } else {
            out.losses |= LossUnreadable;
        }
    }

    icalcomponent* alarm = ownedAlarm(c);
    if (alarm) {
        icalproperty* trigger = firstOf(alarm, ICAL_TRIGGER_PROPERTY);
        std::optional<Instant> when;
        if (trigger) {
            const icaltriggertype t = icalproperty_get_trigger(trigger);
            if (!icaltime_is_null_time(t.time)) {
                when = context.instantOf(trigger);
            } else {
                // Relative to DTSTART, or with RELATED=END to the due time; either stands
                // for the other when it is missing.
                icalparameter* related = icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
                const bool toEnd = related && icalparameter_get_related(related) == ICAL_RELATED_END;
                const bool fromStart = toEnd ? !due && start : start.has_value();
                const std::optional<Instant> anchor = fromStart ? start : due;
                startUsed = startUsed || fromStart;
                if (anchor) when = Instant{anchor->seconds + durationSeconds(t.duration), anchor->floating};
            }
        }
        const std::optional<TDateTime> local = when ? context.localOf(*when) : std::nullopt;
        if (local) {
            r.alarmTime = *local;
            // Acknowledged at or after its trigger: dismissed.
            const std::optional<Instant> acknowledged =
                context.instantOf(firstOf(alarm, ICAL_ACKNOWLEDGED_PROPERTY));
            r.alarmFlag = !acknowledged || context.utcSecondsOf(*acknowledged) < context.utcSecondsOf(*when);
        } else {
            out.losses |= LossUnreadable;
        }
    }

    const auto color = [&](const char* name) {
        const std::vector<icalproperty*> found = xPropertiesNamed(c, name);
        if (found.empty()) return 0;
        bool ok = false;
        const qint64 n = QByteArray(icalproperty_get_x(found.front())).trimmed().toLongLong(&ok);
        if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<quint32>::max()) {
            out.losses |= LossUnreadable;
            return 0;
        }
        return int(quint32(n));
    };
    r.textColor = color(kTextColor);
    r.backgroundColor = color(kBackgroundColor);

    out.losses |= lossesOf(c, alarm, true, startUsed);
}

// ---- Memos ------------------------------------------------------------------------------

void TZvRecordKind<TMemoInfo>::icalUpdate(icalcomponent* c, const TMemoInfo& r, const TZvICalContext& context,
                                          quint32 parts)
{
    if (parts & ICalPartStart)
        putUtc(c, ICAL_DTSTART_PROPERTY, r.assignTime != 0 ? context.utcOf(r.assignTime) : std::nullopt);
}

void TZvRecordKind<TMemoInfo>::icalRead(icalcomponent* c, const TZvICalContext& context,
                                        TZvICalRead<TMemoInfo>& out)
{
    TMemoInfo& r = out.record;
    if (icalproperty* start = firstOf(c, ICAL_DTSTART_PROPERTY)) {
        const std::optional<TDateTime> t = context.localOf(start);
        if (t)
            r.assignTime = *t;
        else
            out.losses |= LossUnreadable;
    }
    out.losses |= lossesOf(c, nullptr, false, true);
}

// ---- Both kinds -------------------------------------------------------------------------

template <class R> icalcomponent_kind ICalKindOf()
{
    static const icalcomponent_kind kind = icalcomponent_string_to_kind(TZvRecordKind<R>::icalComponent);
    return kind;
}

template <class R>
void UpdateICalComponent(icalcomponent* c, const R& r, const TZvICalContext& context, quint32 parts)
{
    updateCommon(c, r, context, parts);
    TZvRecordKind<R>::icalUpdate(c, r, context, parts);
}

template <class R> TZvICalRead<R> ReadICalComponent(icalcomponent* c, const TZvICalContext& context)
{
    TZvICalRead<R> out = readCommon<R>(c, context);
    TZvRecordKind<R>::icalRead(c, context, out);
    return out;
}

// ---- Text -------------------------------------------------------------------------------

QByteArray ICalText(icalcomponent* c)
{
    char* text = icalcomponent_as_ical_string_r(c);
    const QByteArray bytes(text);
    icalmemory_free_buffer(text);
    return bytes;
}

template <class R> icalcomponent* ICalItemOf(icalcomponent* root)
{
    if (!root) return nullptr;
    if (icalcomponent_isa(root) == ICalKindOf<R>()) return root;
    if (icalcomponent_isa(root) != ICAL_VCALENDAR_COMPONENT) return nullptr;
    icalcomponent* occurrence = nullptr;
    for (icalcomponent* c : componentsOf(root, ICalKindOf<R>())) {
        if (!firstOf(c, ICAL_RECURRENCEID_PROPERTY)) return c;
        if (!occurrence) occurrence = c;
    }
    return occurrence;
}

TZvICalComponent NewICalCalendar(const QString& appVersion)
{
    InitICalLibrary();
    TZvICalComponent calendar(icalcomponent_new(ICAL_VCALENDAR_COMPONENT));
    icalcomponent_add_property(calendar.get(), icalproperty_new_version("2.0"));
    const QByteArray product = QByteArrayLiteral("-//Zorvik//Jotboard ") + appVersion.toUtf8() + "//EN";
    icalcomponent_add_property(calendar.get(), icalproperty_new_prodid(product.constData()));
    return calendar;
}

namespace {

// The value of a DATE or DATE-TIME property, without its zone: the rule's occurrences are
// counted on the item's own clock.
icaltimetype wallTimeOf(icalproperty* p)
{
    const icalvalue* v = icalproperty_get_value(p);
    icaltimetype t = v ? icalvalue_get_datetimedate(v) : icaltime_null_time();
    t.zone = t.is_date || !icaltime_is_utc(t) ? nullptr : icaltimezone_get_utc_timezone();
    return t;
}

void setWallTime(icalproperty* p, const icaltimetype& t)
{
    icalproperty_set_value(p, icalvalue_new_datetimedate(t));
}

bool excluded(icalcomponent* c, const icaltimetype& t)
{
    for (icalproperty* p : propertiesOf(c, ICAL_EXDATE_PROPERTY)) {
        const icaltimetype x = wallTimeOf(p);
        if (x.is_date || t.is_date ? icaltime_compare_date_only(x, t) == 0 : icaltime_compare(x, t) == 0)
            return true;
    }
    return false;
}

} // namespace

bool AdvanceRepeatingTask(icalcomponent* c)
{
    icalproperty* rule = firstOf(c, ICAL_RRULE_PROPERTY);
    icalproperty* start = firstOf(c, ICAL_DTSTART_PROPERTY);
    icalproperty* due = firstOf(c, ICAL_DUE_PROPERTY);
    icalproperty* anchorProperty = start ? start : due;
    if (!rule || !anchorProperty) return false;
    const icaltimetype anchor = wallTimeOf(anchorProperty);
    if (icaltime_is_null_time(anchor) || !secondsOf(anchor)) return false;
    icalrecurrencetype recurrence = icalproperty_get_rrule(rule);
    if (recurrence.freq == ICAL_NO_RECURRENCE) return false;

    icalrecur_iterator* it = icalrecur_iterator_new(recurrence, anchor);
    if (!it) return false;
    icaltimetype next = icaltime_null_time();
    int passed = 0;
    // A rule that yields nothing new for this long has no next occurrence worth waiting for.
    for (int i = 0; i < 10000; ++i) {
        const icaltimetype t = icalrecur_iterator_next(it);
        if (icaltime_is_null_time(t) || !secondsOf(t)) break;
        if (icaltime_compare(t, anchor) <= 0) continue;
        ++passed;
        if (excluded(c, t)) continue;
        next = t;
        break;
    }
    icalrecur_iterator_free(it);
    if (icaltime_is_null_time(next)) return false;

    // Moved by the distance on the wall clock, so a due day stays a day and a time its time.
    const qint64 shift = *secondsOf(next) - *secondsOf(anchor);
    const auto moved = [shift](icaltimetype t) {
        return icaltime_add(t, icaldurationtype_from_int(int(shift)));
    };
    if (start) setWallTime(start, next);
    if (due) setWallTime(due, start ? moved(wallTimeOf(due)) : next);
    if (recurrence.count > 0) {
        recurrence.count -= passed;
        icalproperty_set_rrule(rule, recurrence);
    }
    for (icalcomponent* alarm : componentsOf(c, ICAL_VALARM_COMPONENT)) {
        removeAll(alarm, ICAL_ACKNOWLEDGED_PROPERTY);
        icalproperty* trigger = firstOf(alarm, ICAL_TRIGGER_PROPERTY);
        if (!trigger) continue;
        icaltriggertype t = icalproperty_get_trigger(trigger);
        if (icaltime_is_null_time(t.time)) continue; // relative: it follows by itself
        t.time = moved(t.time);
        icalproperty_set_trigger(trigger, t);
    }
    putProperty(c, ICAL_STATUS_PROPERTY, icalproperty_new_status(ICAL_STATUS_NEEDSACTION));
    removeAll(c, ICAL_COMPLETED_PROPERTY);
    removeAll(c, ICAL_PERCENTCOMPLETE_PROPERTY);
    return true;
}

template <class R>
QByteArray ICalComponentText(const R& r, const TZvICalContext& context, const QByteArray& existing)
{
    InitICalLibrary();
    TZvICalComponent root(existing.isEmpty() ? nullptr : icalparser_parse_string(existing.constData()));
    icalcomponent* target = ICalItemOf<R>(root.get());
    if (!target) return ICalText(NewICalComponent(r, context).get());
    UpdateICalComponent(target, r, context);
    return ICalText(root.get()); // in the shape it came: a calendar stays a calendar
}

#define ZV_ICALENDAR_FOR(R)                                                                                  \
    template icalcomponent_kind ICalKindOf<R>();                                                             \
    template icalcomponent* ICalItemOf<R>(icalcomponent*);                                                   \
    template void UpdateICalComponent<R>(icalcomponent*, const R&, const TZvICalContext&, quint32);          \
    template TZvICalRead<R> ReadICalComponent<R>(icalcomponent*, const TZvICalContext&);                     \
    template QByteArray ICalComponentText<R>(const R&, const TZvICalContext&, const QByteArray&);
ZV_ICALENDAR_FOR(TTaskInfo)
ZV_ICALENDAR_FOR(TMemoInfo)
#undef ZV_ICALENDAR_FOR

void InitICalLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { icalerror_set_errors_are_fatal(0); });
}

} // namespace zv
