#pragma once

#include "interchange/ZvRecords.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <span>
#include <variant>

struct icalcomponent_impl; // libical's icalcomponent

namespace zv {

class TZvICalContext;
template <class R> struct TZvICalRead;

// A value of a record: the member that holds it, by its type.
template <class R> using TZvMember = std::variant<QString R::*, bool R::*, int R::*, TDateTime R::*>;
// A list of them (the tables below are constants made at compile time).
template <class R> using TZvMembers = std::span<const TZvMember<R>>;

// One value of a record with its column in the item table and its attribute in the exchange
// file (none for a value the file does not carry).
template <class R> struct TZvField
{
    TZvMember<R> member;
    const char* column;
    const char* attribute;
    bool lines = false; // the item's text: CR LF in the store, LF in the exchange file
};
template <class R> using TZvFields = std::span<const TZvField<R>>;

// The groups of task values the task list stores on their own.
enum class TTaskFields
{
    Completion, // checkFlag, checkTime
    Due,        // dueFlag, dueTime
    Alarm,      // alarmFlag, alarmTime
    Colors      // textColor, backgroundColor
};

// The parts of an iCalendar component that a record's values are written into, one bit each:
// an item written back to a server changes only the parts whose values changed, so that
// another program's spelling of the rest stays as it was.
enum TZvICalPart : quint32
{
    ICalPartParent = 1u << 0,     // the parent link
    ICalPartText = 1u << 1,       // SUMMARY and DESCRIPTION
    ICalPartCompletion = 1u << 2, // a task's STATUS, COMPLETED, PERCENT-COMPLETE
    ICalPartDue = 1u << 3,        // a task's DUE
    ICalPartAlarm = 1u << 4,      // a task's reminder
    ICalPartColors = 1u << 5,     // a task's colours
    ICalPartStart = 1u << 6,      // a memo's DTSTART
    ICalAllParts = 0xFFFFFFFFu
};

// Values the sync merges as one: changed on one side, they take that side's values together.
template <class R> struct TZvSyncGroup
{
    TZvICalPart part;
    std::vector<TZvMember<R>> members;
};

// Everything that differs between tasks and memos below the widgets, said once per record
// type: the table, its columns and how a row reads into a record, the exchange file's
// element and its attributes in their order, the first values of a new item, the texts that
// name the kind, the report writers (defined by the report module) and the iCalendar
// component (defined by the iCalendar mapping). The row operations
// (ZvRows.h), the exchange module, backup, restore and import, and the reports go through
// it: no other place spells a table, column or attribute name.
template <class R> struct TZvRecordKind;

template <> struct TZvRecordKind<TTaskInfo>
{
    static constexpr const char* table = "tasks"; // also the exchange file's container
    static constexpr const char* element = "task";
    static constexpr QString TTaskInfo::*id = &TTaskInfo::tid;
    // A sub-task's expand flag is not read: only top-level items expand.
    static constexpr bool subItemsExpand = false;
    // Values in the exchange file's order (id, pid, text first); those it does not carry last.
    static TZvFields<TTaskInfo> fields() noexcept;
    // What the editor stores with a new item besides its id, text and edit time, and what an
    // item made from text gets besides those and its pid and creation time.
    static TZvMembers<TTaskInfo> createdFields() noexcept;
    static TZvMembers<TTaskInfo> fromTextFields() noexcept;
    static void initCreated(TTaskInfo& r, TDateTime now) noexcept;
    static TZvMembers<TTaskInfo> group(TTaskFields fields) noexcept;

    // Texts: the word of the restore question, the refusal of an empty selection, the mail's
    // attachments' base name and subject.
    static constexpr const char* word = QT_TRANSLATE_NOOP("TZvRecordKind", "task");
    static constexpr const char* selectOne = QT_TRANSLATE_NOOP("TZvRecordKind", "Please select a task!");
    static constexpr const char* fileBase = "Tasks";
    static constexpr const char* mailSubject = QT_TRANSLATE_NOOP("TZvRecordKind", "To-Do List");

    // The reports (interchange/ZvReports.cpp).
    static QByteArray htmlReport(const std::vector<SelectedItem<TTaskInfo>>& items, const QString& version);
    static QByteArray textReport(const std::vector<SelectedItem<TTaskInfo>>& items, const QString& version);

    // iCalendar (interchange/ZvICalendar.cpp): a task is a VTODO. What only a task maps
    // (completion, due day, its reminder, colours) into a component, keeping every property
    // it does not own, and back; the id, parent, text and times are mapped once for both
    // kinds. The count of the import's closing message.
    static constexpr const char* icalComponent = "VTODO";
    static void icalUpdate(icalcomponent_impl* c, const TTaskInfo& r, const TZvICalContext& context,
                           quint32 parts);
    static void icalRead(icalcomponent_impl* c, const TZvICalContext& context, TZvICalRead<TTaskInfo>& read);
    static constexpr const char* oneItem = QT_TRANSLATE_NOOP("TZvRecordKind", "1 task");
    // The values the sync keeps in step with a server, in groups merged as one (the parent,
    // the text, then what only a task has).
    static const std::vector<TZvSyncGroup<TTaskInfo>>& syncGroups();
    static constexpr const char* items = QT_TRANSLATE_NOOP("TZvRecordKind", "%1 tasks");
};

template <> struct TZvRecordKind<TMemoInfo>
{
    static constexpr const char* table = "memos";
    static constexpr const char* element = "memo";
    static constexpr QString TMemoInfo::*id = &TMemoInfo::mid;
    static constexpr bool subItemsExpand = true;
    static TZvFields<TMemoInfo> fields() noexcept;
    static TZvMembers<TMemoInfo> createdFields() noexcept;
    static TZvMembers<TMemoInfo> fromTextFields() noexcept;
    static void initCreated(TMemoInfo& r, TDateTime now) noexcept;

    static constexpr const char* word = QT_TRANSLATE_NOOP("TZvRecordKind", "memo");
    static constexpr const char* selectOne = QT_TRANSLATE_NOOP("TZvRecordKind", "Please select a memo!");
    static constexpr const char* fileBase = "Memos";
    static constexpr const char* mailSubject = QT_TRANSLATE_NOOP("TZvRecordKind", "Memos");

    static QByteArray htmlReport(const std::vector<SelectedItem<TMemoInfo>>& items, const QString& version);
    static QByteArray textReport(const std::vector<SelectedItem<TMemoInfo>>& items, const QString& version);

    // A memo is a VJOURNAL; only its assignTime (DTSTART) is its own.
    static constexpr const char* icalComponent = "VJOURNAL";
    static void icalUpdate(icalcomponent_impl* c, const TMemoInfo& r, const TZvICalContext& context,
                           quint32 parts);
    static void icalRead(icalcomponent_impl* c, const TZvICalContext& context, TZvICalRead<TMemoInfo>& read);
    static constexpr const char* oneItem = QT_TRANSLATE_NOOP("TZvRecordKind", "1 memo");
    static const std::vector<TZvSyncGroup<TMemoInfo>>& syncGroups();
    static constexpr const char* items = QT_TRANSLATE_NOOP("TZvRecordKind", "%1 memos");
};

// A kind's text, translated.
QString KindText(const char* text);

// The field of a member, and its column (raises for a member the kind does not list: a
// programming error).
template <class R> const TZvField<R>& FieldOf(TZvMember<R> member) noexcept
{
    for (const TZvField<R>& f : TZvRecordKind<R>::fields())
        if (f.member == member) return f;
    qFatal("a record member without a column");
}
template <class R> QString ColumnOf(TZvMember<R> member)
{
    return QString::fromLatin1(FieldOf<R>(member).column);
}

} // namespace zv
