#include "interchange/ZvRecordKind.h"

#include <QCoreApplication>

namespace zv {

QString KindText(const char* text)
{
    return QCoreApplication::translate("TZvRecordKind", text);
}

// ---- tasks ------------------------------------------------------------------------------

namespace {

using T = TTaskInfo;

constexpr TZvField<T> kTaskFields[] = {
    {&T::tid, "tid", "tid"},
    {&T::pid, "pid", "pid"},
    {&T::content, "content", "content", true},
    {&T::checkFlag, "checkFlag", "check-flag"},
    {&T::alarmFlag, "alarmFlag", "alarm-flag"},
    {&T::dueFlag, "dueFlag", "due-flag"},
    {&T::textColor, "textColor", "text-color"},
    {&T::backgroundColor, "backgroundColor", "background-color"},
    {&T::createTime, "createTime", "create-time"},
    {&T::editTime, "editTime", "edit-time"},
    {&T::checkTime, "checkTime", "check-time"},
    {&T::alarmTime, "alarmTime", "alarm-time"},
    {&T::dueTime, "dueTime", "due-time"},
    {&T::expandFlag, "expandFlag", nullptr},
};

// A new task starts incomplete, without due date or reminder, in the default colours: as
// typed (with its pid and creation time, the first two) and as made from text (the rest).
constexpr TZvMember<T> kTaskCreated[] = {
    &T::pid, &T::createTime, &T::checkFlag, &T::textColor, &T::backgroundColor, &T::alarmFlag, &T::dueFlag};

constexpr TZvMember<T> kCompletion[] = {&T::checkFlag, &T::checkTime};
constexpr TZvMember<T> kDue[] = {&T::dueFlag, &T::dueTime};
constexpr TZvMember<T> kAlarm[] = {&T::alarmFlag, &T::alarmTime};
constexpr TZvMember<T> kColors[] = {&T::textColor, &T::backgroundColor};

} // namespace

TZvFields<TTaskInfo> TZvRecordKind<TTaskInfo>::fields() noexcept
{
    return kTaskFields;
}

TZvMembers<TTaskInfo> TZvRecordKind<TTaskInfo>::fromTextFields() noexcept
{
    return TZvMembers<TTaskInfo>(kTaskCreated).subspan(2);
}

TZvMembers<TTaskInfo> TZvRecordKind<TTaskInfo>::createdFields() noexcept
{
    return kTaskCreated;
}

void TZvRecordKind<TTaskInfo>::initCreated(TTaskInfo& r, TDateTime now) noexcept
{
    r.checkFlag = r.alarmFlag = r.dueFlag = false;
    r.textColor = r.backgroundColor = 0;
    r.createTime = now;
}

TZvMembers<TTaskInfo> TZvRecordKind<TTaskInfo>::group(TTaskFields fields) noexcept
{
    switch (fields) {
    case TTaskFields::Completion:
        return kCompletion;
    case TTaskFields::Due:
        return kDue;
    case TTaskFields::Alarm:
        return kAlarm;
    case TTaskFields::Colors:
        break;
    }
    return kColors;
}

const std::vector<TZvSyncGroup<TTaskInfo>>& TZvRecordKind<TTaskInfo>::syncGroups()
{
    using T = TTaskInfo;
    const auto asList = [](TZvMembers<T> m) { return std::vector<TZvMember<T>>(m.begin(), m.end()); };
    static const std::vector<TZvSyncGroup<T>> list = {
        {ICalPartParent, {&T::pid}},
        {ICalPartText, {&T::content}},
        {ICalPartCompletion, asList(group(TTaskFields::Completion))},
        {ICalPartDue, asList(group(TTaskFields::Due))},
        {ICalPartAlarm, asList(group(TTaskFields::Alarm))},
        {ICalPartColors, asList(group(TTaskFields::Colors))},
    };
    return list;
}

// ---- memos ------------------------------------------------------------------------------

namespace {

using M = TMemoInfo;

constexpr TZvField<M> kMemoFields[] = {
    {&M::mid, "mid", "mid"},
    {&M::pid, "pid", "pid"},
    {&M::content, "content", "content", true},
    {&M::assignTime, "assignTime", "assign-time"},
    {&M::createTime, "createTime", "create-time"},
    {&M::editTime, "editTime", "edit-time"},
    {&M::expandFlag, "expandFlag", nullptr},
};

constexpr TZvMember<M> kMemoCreated[] = {&M::pid, &M::createTime, &M::assignTime};

} // namespace

TZvFields<TMemoInfo> TZvRecordKind<TMemoInfo>::fields() noexcept
{
    return kMemoFields;
}

TZvMembers<TMemoInfo> TZvRecordKind<TMemoInfo>::createdFields() noexcept
{
    return kMemoCreated;
}

// A memo made from text leaves assignTime unset (it reads back as 0).
TZvMembers<TMemoInfo> TZvRecordKind<TMemoInfo>::fromTextFields() noexcept
{
    return {};
}

const std::vector<TZvSyncGroup<TMemoInfo>>& TZvRecordKind<TMemoInfo>::syncGroups()
{
    using M = TMemoInfo;
    static const std::vector<TZvSyncGroup<M>> list = {
        {ICalPartParent, {&M::pid}},
        {ICalPartText, {&M::content}},
        {ICalPartStart, {&M::assignTime}},
    };
    return list;
}

void TZvRecordKind<TMemoInfo>::initCreated(TMemoInfo& r, TDateTime now) noexcept
{
    r.createTime = now;
    r.assignTime = r.createTime;
}

} // namespace zv
