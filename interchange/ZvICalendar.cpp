#include "interchange/ZvICalendar.h"

#include "interchange/ZvICalParts.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QDate>
#include <limits>
#include <mutex>

namespace zv {

namespace {

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
