#include "ZvRowGateway.h"

#include "ZvScopeExit.h"

#include <array>

namespace zv {

namespace {

TField field(TADOQuery& q, const char* name)
{
    return q.FieldByName(QString::fromLatin1(name));
}

// The columns of a reader, found by name once per column list rather than for each field
// of every row: a tree load reads thousands of rows of one list, and those lookups were a
// quarter of the program's start.
template <size_t N> class TColumnSet
{
public:
    explicit TColumnSet(const std::array<const char*, N>& names) : m_names(names) {}

    TField operator()(TADOQuery& q, size_t which)
    {
        if (q.layoutId() != m_layout) {
            for (size_t i = 0; i < N; ++i)
                m_index[i] = q.FindField(QLatin1StringView(m_names[i]));
            m_layout = q.layoutId();
        }
        // A column the result lacks is asked for by name, which raises its own message.
        return m_index[which] < 0 ? field(q, m_names[which]) : q.FieldAt(m_index[which]);
    }

private:
    std::array<const char*, N> m_names;
    std::array<int, N> m_index{};
    quint64 m_layout = 0;
};

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
    enum
    {
        Tid,
        Pid,
        Content,
        Check,
        Due,
        Alarm,
        Expand,
        Text,
        Back,
        Create,
        Edit,
        Checked,
        AlarmAt,
        DueAt
    };
    static TColumnSet<14> col({"tid", "pid", "content", "checkFlag", "dueFlag", "alarmFlag", "expandFlag",
                               "textColor", "backgroundColor", "createTime", "editTime", "checkTime",
                               "alarmTime", "dueTime"});
    r.tid = col(q, Tid).AsString();
    r.pid = col(q, Pid).AsString();
    r.content = col(q, Content).AsString();
    r.checkFlag = col(q, Check).AsBoolean();
    r.dueFlag = col(q, Due).AsBoolean();
    r.alarmFlag = col(q, Alarm).AsBoolean();
    r.expandFlag = topLevel && col(q, Expand).AsBoolean();
    r.textColor = col(q, Text).AsInteger();
    r.backgroundColor = col(q, Back).AsInteger();
    r.createTime = col(q, Create).AsDateTime();
    r.editTime = col(q, Edit).AsDateTime();
    r.checkTime = col(q, Checked).AsDateTime();
    r.alarmTime = col(q, AlarmAt).AsDateTime();
    r.dueTime = col(q, DueAt).AsDateTime();
}

void TZvRowGateway<TTaskInfo>::write(TADOQuery& q, const TTaskInfo& r, TTaskFields fields)
{
    const auto flagAndTime = [&q](const char* flag, bool on, const char* time, TDateTime at) {
        field(q, flag).setAsBoolean(on);
        field(q, time).setAsDateTime(at);
    };
    switch (fields) {
    case TTaskFields::Completion:
        flagAndTime("checkFlag", r.checkFlag, "checkTime", r.checkTime);
        break;
    case TTaskFields::Due:
        flagAndTime("dueFlag", r.dueFlag, "dueTime", r.dueTime);
        break;
    case TTaskFields::Alarm:
        flagAndTime("alarmFlag", r.alarmFlag, "alarmTime", r.alarmTime);
        break;
    case TTaskFields::Colors:
        field(q, "textColor").setAsInteger(r.textColor);
        field(q, "backgroundColor").setAsInteger(r.backgroundColor);
        break;
    }
}

void TZvRowGateway<TTaskInfo>::writeValues(TADOQuery& q, const TTaskInfo& r)
{
    field(q, "content").setAsString(r.content);
    for (TTaskFields group :
         {TTaskFields::Completion, TTaskFields::Due, TTaskFields::Alarm, TTaskFields::Colors})
        write(q, r, group);
    field(q, "createTime").setAsDateTime(r.createTime);
    field(q, "editTime").setAsDateTime(r.editTime);
}

QStringList TZvRowGateway<TTaskInfo>::firstIncomplete(TADOQuery& q, int count)
{
    // Read no more rows than are wanted; the limit is the query's own, so it is put back on
    // every way out.
    q.setMaxRecords(count);
    const auto unlimit = ScopeExit([&q] { q.setMaxRecords(0); });
    // "checkFlag=False" alone would not match a NULL flag, which loads as incomplete.
    OpenQuery(q, QStringLiteral("select content from tasks where (checkFlag=False or checkFlag is null) "
                                "order by content ASC"));
    QStringList texts;
    for (q.First(); !q.Eof(); q.Next())
        texts << field(q, "content").AsString();
    q.Close();
    return texts;
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
    enum
    {
        Mid,
        Pid,
        Content,
        Expand,
        Assign,
        Create,
        Edit
    };
    static TColumnSet<7> col({"mid", "pid", "content", "expandFlag", "assignTime", "createTime", "editTime"});
    r.mid = col(q, Mid).AsString();
    r.pid = col(q, Pid).AsString();
    r.content = col(q, Content).AsString();
    r.expandFlag = col(q, Expand).AsBoolean();
    r.assignTime = col(q, Assign).AsDateTime();
    r.createTime = col(q, Create).AsDateTime();
    r.editTime = col(q, Edit).AsDateTime();
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

void TZvRowGateway<TMemoInfo>::writeValues(TADOQuery& q, const TMemoInfo& r)
{
    field(q, "content").setAsString(r.content);
    field(q, "assignTime").setAsDateTime(r.assignTime);
    field(q, "createTime").setAsDateTime(r.createTime);
    field(q, "editTime").setAsDateTime(r.editTime);
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
