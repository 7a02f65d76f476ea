// A repeating task moved on to its next occurrence.

#include "interchange/ZvICalendar.h"

#include "interchange/ZvICalParts.h"

namespace zv {

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

} // namespace zv
