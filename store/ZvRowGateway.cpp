#include "ZvRowGateway.h"

namespace zv {

namespace {

TField field(TADOQuery& q, const char* name)
{
    return q.FieldByName(QString::fromLatin1(name));
}

} // namespace

// ---- tasks ------------------------------------------------------------------------------

const QString& TZvRowGateway<TTaskInfo>::table()
{
    static const QString name = QStringLiteral("tasks");
    return name;
}

const QString& TZvRowGateway<TTaskInfo>::idColumn()
{
    static const QString name = QStringLiteral("tid");
    return name;
}

void TZvRowGateway<TTaskInfo>::read(TADOQuery& q, TTaskInfo& r, bool topLevel)
{
    r.tid = field(q, "tid").AsString();
    r.pid = field(q, "pid").AsString();
    r.content = field(q, "content").AsString();
    r.checkFlag = field(q, "checkFlag").AsBoolean();
    r.dueFlag = field(q, "dueFlag").AsBoolean();
    r.alarmFlag = field(q, "alarmFlag").AsBoolean();
    r.expandFlag = topLevel && field(q, "expandFlag").AsBoolean();
    r.textColor = field(q, "textColor").AsInteger();
    r.backgroundColor = field(q, "backgroundColor").AsInteger();
    r.createTime = field(q, "createTime").AsDateTime();
    r.editTime = field(q, "editTime").AsDateTime();
    r.checkTime = field(q, "checkTime").AsDateTime();
    r.alarmTime = field(q, "alarmTime").AsDateTime();
    r.dueTime = field(q, "dueTime").AsDateTime();
}

void TZvRowGateway<TTaskInfo>::initCreated(TTaskInfo& r, TDateTime now)
{
    r.checkFlag = r.alarmFlag = r.dueFlag = false;
    r.textColor = r.backgroundColor = 0;
    r.createTime = now;
}

void TZvRowGateway<TTaskInfo>::writeCreated(TADOQuery& q, const TTaskInfo& r)
{
    field(q, "pid").setAsString(r.pid);
    field(q, "checkFlag").setAsBoolean(false);
    field(q, "alarmFlag").setAsBoolean(false);
    field(q, "dueFlag").setAsBoolean(false);
    field(q, "textColor").setAsInteger(0);
    field(q, "backgroundColor").setAsInteger(0);
    field(q, "createTime").setAsDateTime(r.createTime);
}

void TZvRowGateway<TTaskInfo>::writeFromText(TADOQuery& q, const TTaskInfo&)
{
    field(q, "checkFlag").setAsBoolean(false);
    field(q, "textColor").setAsInteger(0);
    field(q, "backgroundColor").setAsInteger(0);
    field(q, "alarmFlag").setAsBoolean(false);
    field(q, "dueFlag").setAsBoolean(false);
}

const std::vector<TZvExchangeColumn>& TZvRowGateway<TTaskInfo>::exchangeColumns()
{
    static const std::vector<TZvExchangeColumn> columns = {
        {"content", "content", false},       {"checkFlag", "check-flag", false},
        {"alarmFlag", "alarm-flag", false},  {"dueFlag", "due-flag", false},
        {"textColor", "text-color", false},  {"backgroundColor", "background-color", false},
        {"createTime", "create-time", true}, {"editTime", "edit-time", true},
        {"checkTime", "check-time", true},   {"alarmTime", "alarm-time", true},
        {"dueTime", "due-time", true},
    };
    return columns;
}

// ---- memos ------------------------------------------------------------------------------

const QString& TZvRowGateway<TMemoInfo>::table()
{
    static const QString name = QStringLiteral("memos");
    return name;
}

const QString& TZvRowGateway<TMemoInfo>::idColumn()
{
    static const QString name = QStringLiteral("mid");
    return name;
}

void TZvRowGateway<TMemoInfo>::read(TADOQuery& q, TMemoInfo& r, bool)
{
    r.mid = field(q, "mid").AsString();
    r.pid = field(q, "pid").AsString();
    r.content = field(q, "content").AsString();
    r.expandFlag = field(q, "expandFlag").AsBoolean();
    r.assignTime = field(q, "assignTime").AsDateTime();
    r.createTime = field(q, "createTime").AsDateTime();
    r.editTime = field(q, "editTime").AsDateTime();
}

void TZvRowGateway<TMemoInfo>::initCreated(TMemoInfo& r, TDateTime now)
{
    r.createTime = now;
    r.assignTime = r.createTime;
}

void TZvRowGateway<TMemoInfo>::writeCreated(TADOQuery& q, const TMemoInfo& r)
{
    field(q, "pid").setAsString(r.pid);
    field(q, "createTime").setAsDateTime(r.createTime);
    field(q, "assignTime").setAsDateTime(r.assignTime);
}

// A memo made from text leaves assignTime unset (it reads back as 0).
void TZvRowGateway<TMemoInfo>::writeFromText(TADOQuery&, const TMemoInfo&) {}

const std::vector<TZvExchangeColumn>& TZvRowGateway<TMemoInfo>::exchangeColumns()
{
    static const std::vector<TZvExchangeColumn> columns = {
        {"content", "content", false},
        {"assignTime", "assign-time", true},
        {"createTime", "create-time", true},
        {"editTime", "edit-time", true},
    };
    return columns;
}

} // namespace zv
