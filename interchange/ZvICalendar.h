#pragma once

// Tasks and memos in iCalendar (RFC 5545): a task is a VTODO, a memo a VJOURNAL. The
// mapping is generic over the record kind: what both kinds map is written once here, what
// differs (the component, the values only a task has) is a member of each TZvRecordKind<R>.
// It writes the properties the record owns into a component, keeping every other property,
// and reads a component back into a record, saying what the record cannot keep.

#include "interchange/ZvRecordKind.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTimeZone>
#include <libical/ical.h>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace zv {

// ---- Times ----------------------------------------------------------------------------

// The wall clock of one zone with the rules in force at each date (not today's offset).
// A wall time that occurs twice (the hour the clocks go back) takes the earlier instant; one
// that never occurs (the hour they go forward) moves forward by the gap.
class TZvZoneRules
{
public:
    explicit TZvZoneRules(const QTimeZone& zone);
    // The rules of a zone, made once per zone and process.
    static std::shared_ptr<const TZvZoneRules> of(const QTimeZone& zone);
    // Seconds since 1970-01-01 00:00 UTC, and the same count on the zone's wall clock.
    qint64 instantOf(qint64 wallSeconds) const;
    qint64 wallTimeOf(qint64 utcSeconds) const;

private:
    int offsetAt(qint64 utcSeconds) const;

    QTimeZone m_zone;
    // The zone's changes between 1800 and 2400, looked up instead of asking the zone data
    // for every time of a file (tens of thousands of times).
    std::vector<std::pair<qint64, int>> m_changes; // UTC second of a change, offset from then on
    int m_offsetBefore = 0;
    qint64 m_from = 0;
    qint64 m_to = 0;
};

// The store's value (local wall clock, days since 1899-12-30) as seconds on the wall clock
// since 1970, and back; nothing for a value outside the years 0001-9999 (or not finite).
std::optional<qint64> WallSecondsOf(TDateTime value);
std::optional<TDateTime> DateTimeOfWallSeconds(qint64 wallSeconds);

// What the times of one reading or writing need: the local zone, the moment of writing,
// and the time zones a file defines (VTIMEZONE), by TZID.
class TZvICalContext
{
public:
    // The local zone is the system's; `nowUtc` (seconds since 1970) the Clock seam's now.
    TZvICalContext();
    TZvICalContext(const QTimeZone& local, qint64 nowUtc);
    ~TZvICalContext();
    TZvICalContext(const TZvICalContext&) = delete;
    TZvICalContext& operator=(const TZvICalContext&) = delete;

    const TZvZoneRules& local() const { return *m_local; }
    qint64 now() const { return m_now; }

    // A VTIMEZONE of the file (the context takes it). The first one of a TZID counts; one
    // whose rules would make the library expand without end is refused (false), and times
    // of its TZID fall back to the system's zone data of that name.
    bool addTimeZone(icalcomponent* vtimezone);

    // A stored value as UTC seconds since 1970; nothing when it is outside the years
    // 0001-9999, on the wall clock or in UTC.
    std::optional<qint64> utcOf(TDateTime value) const;
    // A property's DATE or DATE-TIME (UTC, floating, or with its TZID) on the local wall
    // clock; nothing when it is missing, unreadable or outside the years 0001-9999.
    std::optional<TDateTime> localOf(icalproperty* property) const;

    // A time with its meaning: UTC seconds, or seconds on a wall clock (floating and DATE
    // values). Durations add to either.
    struct Instant
    {
        qint64 seconds = 0;
        bool floating = false;
    };
    std::optional<Instant> instantOf(icalproperty* property) const;
    std::optional<TDateTime> localOf(const Instant& instant) const;
    qint64 utcSecondsOf(const Instant& instant) const;

private:
    const TZvZoneRules* systemZone(const QByteArray& tzid) const;

    std::shared_ptr<const TZvZoneRules> m_local;
    qint64 m_now;
    QHash<QByteArray, icaltimezone*> m_fileZones;
    mutable QHash<QByteArray, std::shared_ptr<const TZvZoneRules>> m_systemZones;
};

// ---- What a record cannot keep ----------------------------------------------------------

// Kinds of property left out on reading, one bit each; the import counts items per bit.
enum TZvICalLoss : quint32
{
    LossRepeatRule = 1u << 0,
    LossCategories = 1u << 1,
    LossPriority = 1u << 2,
    LossAttachments = 1u << 3,
    LossStartDate = 1u << 4,
    LossFurtherReminders = 1u << 5,
    LossOtherDetails = 1u << 6,
    LossUnreadable = 1u << 7, // a value that does not parse or lies outside 0001-9999
    LossOversized = 1u << 8,  // a property over the reader's line limit (set by the reader)
};
constexpr int kICalLossKinds = 9;

template <class R> struct TZvICalRead
{
    R record;
    quint32 losses = 0;
};

// ---- The mapping, generic over the record kind ------------------------------------------

struct TZvICalFree
{
    void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using TZvICalComponent = std::unique_ptr<icalcomponent, TZvICalFree>;

// The component of a record kind (TZvRecordKind<R>::icalComponent): VTODO, VJOURNAL.
template <class R> icalcomponent_kind ICalKindOf();

// The record's values into `c`, a component of its kind; every property it does not own
// stays as it is. Both kinds own UID, the first parent RELATED-TO, SUMMARY and the first
// DESCRIPTION, CREATED, LAST-MODIFIED and DTSTAMP; what else a kind owns, its
// TZvRecordKind<R>::icalUpdate says (a task: STATUS, COMPLETED, PERCENT-COMPLETE, DUE and a
// DURATION standing for it, the first DISPLAY alarm, the two X-ZORVIK colours; a memo:
// DTSTART). With `parts` (TZvICalPart bits) only those parts are written, besides
// LAST-MODIFIED and DTSTAMP; the UID and CREATED a component has stay.
template <class R>
void UpdateICalComponent(icalcomponent* c, const R& r, const TZvICalContext& context,
                         quint32 parts = ICalAllParts);
// A component of the kind back into a record, with what the record cannot keep.
template <class R> TZvICalRead<R> ReadICalComponent(icalcomponent* c, const TZvICalContext& context);

// A new component of the record's kind: the update of an empty one.
template <class R> TZvICalComponent NewICalComponent(const R& r, const TZvICalContext& context)
{
    TZvICalComponent c(icalcomponent_new(ICalKindOf<R>()));
    UpdateICalComponent(c.get(), r, context);
    return c;
}

// The text of one component of the record's kind: `existing` (the component's text, or a
// calendar holding one) updated from the record, or a new component when it is empty or
// holds none of that kind. Ends with CR LF.
template <class R>
QByteArray ICalComponentText(const R& r, const TZvICalContext& context, const QByteArray& existing = {});

// The component's text, CR LF line ends, folded.
QByteArray ICalText(icalcomponent* c);

// The item of the record's kind in a parsed text: the text's own component, or in a
// calendar the first one of the kind that is no changed occurrence (RECURRENCE-ID) of it;
// null when there is none.
template <class R> icalcomponent* ICalItemOf(icalcomponent* root);

// An empty calendar as this program writes one (VERSION, PRODID).
TZvICalComponent NewICalCalendar(const QString& appVersion);

// A repeating task done: its start and due move to the next occurrence of its RRULE (by the
// library's iterator, EXDATE skipped, COUNT counted down), an alarm at a fixed time moves
// with them, and it is no longer complete nor its alarm acknowledged. False, and nothing
// changed, when it does not repeat or its series has ended.
bool AdvanceRepeatingTask(icalcomponent* c);

// Once per process: the library's errors are reported, never fatal.
void InitICalLibrary();

} // namespace zv
