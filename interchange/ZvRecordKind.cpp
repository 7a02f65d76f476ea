#include "interchange/ZvRecordKind.h"

#include <QCoreApplication>

namespace zv {

QString KindText(const char* text)
{
    return QCoreApplication::translate("TZvRecordKind", text);
}

// ---- tasks ------------------------------------------------------------------------------

const std::vector<TZvField<TTaskInfo>>& TZvRecordKind<TTaskInfo>::fields()
{
    using T = TTaskInfo;
    static const std::vector<TZvField<T>> list = {
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
    return list;
}

// A new task starts incomplete, without due date or reminder, in the default colours: as
// typed (with its pid and creation time) and as made from text.
const std::vector<TZvMember<TTaskInfo>>& TZvRecordKind<TTaskInfo>::fromTextFields()
{
    using T = TTaskInfo;
    static const std::vector<TZvMember<T>> list = {&T::checkFlag, &T::textColor, &T::backgroundColor,
                                                   &T::alarmFlag, &T::dueFlag};
    return list;
}

const std::vector<TZvMember<TTaskInfo>>& TZvRecordKind<TTaskInfo>::createdFields()
{
    static const std::vector<TZvMember<TTaskInfo>> list = [] {
        std::vector<TZvMember<TTaskInfo>> l = {&TTaskInfo::pid, &TTaskInfo::createTime};
        for (const TZvMember<TTaskInfo>& m : fromTextFields())
            l.push_back(m);
        return l;
    }();
    return list;
}

void TZvRecordKind<TTaskInfo>::initCreated(TTaskInfo& r, TDateTime now)
{
    r.checkFlag = r.alarmFlag = r.dueFlag = false;
    r.textColor = r.backgroundColor = 0;
    r.createTime = now;
}

const std::vector<TZvMember<TTaskInfo>>& TZvRecordKind<TTaskInfo>::group(TTaskFields fields)
{
    using T = TTaskInfo;
    static const std::vector<TZvMember<T>> completion = {&T::checkFlag, &T::checkTime};
    static const std::vector<TZvMember<T>> due = {&T::dueFlag, &T::dueTime};
    static const std::vector<TZvMember<T>> alarm = {&T::alarmFlag, &T::alarmTime};
    static const std::vector<TZvMember<T>> colors = {&T::textColor, &T::backgroundColor};
    switch (fields) {
    case TTaskFields::Completion:
        return completion;
    case TTaskFields::Due:
        return due;
    case TTaskFields::Alarm:
        return alarm;
    case TTaskFields::Colors:
        break;
    }
    return colors;
}

const std::vector<TZvSyncGroup<TTaskInfo>>& TZvRecordKind<TTaskInfo>::syncGroups()
{
    using T = TTaskInfo;
    static const std::vector<TZvSyncGroup<T>> list = {
        {ICalPartParent, {&T::pid}},
        {ICalPartText, {&T::content}},
        {ICalPartCompletion, group(TTaskFields::Completion)},
        {ICalPartDue, group(TTaskFields::Due)},
        {ICalPartAlarm, group(TTaskFields::Alarm)},
        {ICalPartColors, group(TTaskFields::Colors)},
    };
    return list;
}

// ---- memos ------------------------------------------------------------------------------

const std::vector<TZvField<TMemoInfo>>& TZvRecordKind<TMemoInfo>::fields()
{
    using M = TMemoInfo;
    static const std::vector<TZvField<M>> list = {
        {&M::mid, "mid", "mid"},
        {&M::pid, "pid", "pid"},
        {&M::content, "content", "content", true},
        {&M::assignTime, "assignTime", "assign-time"},
        {&M::createTime, "createTime", "create-time"},
        {&M::editTime, "editTime", "edit-time"},
        {&M::expandFlag, "expandFlag", nullptr},
    };
    return list;
}

const std::vector<TZvMember<TMemoInfo>>& TZvRecordKind<TMemoInfo>::createdFields()
{
    using M = TMemoInfo;
    static const std::vector<TZvMember<M>> list = {&M::pid, &M::createTime, &M::assignTime};
    return list;
}

// A memo made from text leaves assignTime unset (it reads back as 0).
const std::vector<TZvMember<TMemoInfo>>& TZvRecordKind<TMemoInfo>::fromTextFields()
{
    static const std::vector<TZvMember<TMemoInfo>> none;
    return none;
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

void TZvRecordKind<TMemoInfo>::initCreated(TMemoInfo& r, TDateTime now)
{
    r.createTime = now;
    r.assignTime = r.createTime;
}

} // namespace zv
