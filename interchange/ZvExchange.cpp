#include "ZvExchange.h"

#include "ZvSeams.h"
#include "pU_Funcs.h"

#include <QCoreApplication>
#include <QDate>
#include <cmath>
#include <cstdio>
#include <exception>

namespace zv {

namespace {

QString trc(const char* text)
{
    return QCoreApplication::translate("ZvExchange", text);
}

void setAttr(pugi::xml_node node, const char* name, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    node.append_attribute(name).set_value(utf8.constData(), size_t(utf8.size()));
}

void setAttr(pugi::xml_node node, const char* name, const char* value)
{
    node.append_attribute(name).set_value(value);
}

const char* flagText(bool value)
{
    return value ? "True" : "False";
}

template <class T, class Append>
bool writeSelection(const QString& fileName, const std::vector<SelectedItem<T>>& items,
                    const QString& appVersion, const char* containerPath, Append append)
{
    try {
        TZoneOffsetPin zone;
        const QString suffix = ExchangeZoneSuffix();
        Txmltry xml;
        StartExchangeDocument(xml, appVersion);
        const pugi::xml_node container = xml.FindNode(QString::fromLatin1(containerPath));
        ForEachWritten(items, [&](const T& record, bool topLevel) {
            append(container, record, topLevel ? kRootId : record.pid, suffix);
        });
        xml.SaveToFile(fileName, true);
        return true;
    } catch (const std::exception&) {
        MsgError(ExchangeWriteFailureText());
        return false;
    }
}

QString nothingSelectedText(const TTaskInfo*)
{
    return trc("Please select a task!");
}

QString nothingSelectedText(const TMemoInfo*)
{
    return trc("Please select a memo!");
}

} // namespace

template <class T>
bool ExportSelection(QWidget* parent, const std::vector<SelectedItem<T>>& items, const QString& appVersion,
                     const FileDialogRequest& dialog,
                     bool (*writer)(const QString&, const std::vector<SelectedItem<T>>&, const QString&))
{
    if (items.empty()) {
        MsgWarning(nothingSelectedText(static_cast<const T*>(nullptr)));
        return false;
    }
    const FileDialogResult chosen = FileDialogSeam::run(parent, dialog);
    if (chosen.fileName.isEmpty()) return false;
    return writer(chosen.fileName, items, appVersion);
}

template bool ExportSelection<TTaskInfo>(QWidget*, const std::vector<SelectedItem<TTaskInfo>>&,
                                         const QString&, const FileDialogRequest&,
                                         bool (*)(const QString&, const std::vector<SelectedItem<TTaskInfo>>&,
                                                  const QString&));
template bool ExportSelection<TMemoInfo>(QWidget*, const std::vector<SelectedItem<TMemoInfo>>&,
                                         const QString&, const FileDialogRequest&,
                                         bool (*)(const QString&, const std::vector<SelectedItem<TMemoInfo>>&,
                                                  const QString&));

QString ExchangeWriteFailureText()
{
    return trc("File Write Failure !");
}

QString ExchangeTemplate()
{
    return QStringLiteral("<zorvik app=\"\" appversion=\"\" dataversion=\"1.1\" time=\"\">\r"
                          "  <tasks>\r"
                          "  </tasks>\r"
                          "  <memos>\r"
                          "  </memos>\r"
                          "  <notes>\r"
                          "  </notes>\r"
                          "  <peers>\r"
                          "  </peers>\r"
                          "</zorvik>");
}

void StartExchangeDocument(Txmltry& xml, const QString& appVersion)
{
    xml.LoadFromText(ExchangeTemplate());
    const QString root = QStringLiteral("zorvik");
    xml.WriteAttr(root, QStringLiteral("app"), kExchangeApp);
    xml.WriteAttr(root, QStringLiteral("appversion"), appVersion);
    xml.WriteAttr(root, QStringLiteral("time"), IsoDateTimeText(Now()));
}

QString ExchangeContentText(const QString& content)
{
    QString text = content;
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

QString ExchangeZoneSuffix()
{
    const int bias = CurrentUtcBias();
    if (bias == 0) return QStringLiteral("Z");
    const int a = std::abs(bias);
    return QStringLiteral("%1%2:%3")
        .arg(bias < 0 ? QLatin1Char('+') : QLatin1Char('-'))
        .arg(a / 60, 2, 10, QLatin1Char('0'))
        .arg(a % 60, 2, 10, QLatin1Char('0'));
}

QString ExchangeTimeText(TDateTime value, const QString& zoneSuffix)
{
    // Whole days from 1899-12-30; the fraction, without sign, is the time of day.
    static const QDate epoch(1899, 12, 30);
    constexpr qint64 msPerDay = 86400000;
    // A value the four-digit year cannot carry (another tool wrote it: infinity, NaN, a
    // year before 1 or after 9999) would give a text no reader takes back: it is written as
    // the zero date, so every backup can be restored.
    constexpr double firstDay = -693593.0; // 0001-01-01
    constexpr double lastDay = 2958465.0;  // 9999-12-31
    if (!std::isfinite(value) || value <= firstDay - 1.0 || value >= lastDay + 1.0) value = 0.0;
    const double whole = std::trunc(value);
    qint64 ms = qint64(std::llround(std::fabs(value - whole) * double(msPerDay)));
    QDate date = epoch.addDays(qint64(whole));
    if (ms >= msPerDay) {
        date = date.addDays(1);
        ms = 0;
    }
    if (date.year() < 1 || date.year() > 9999) {
        date = epoch;
        ms = 0;
    }
    const qint64 seconds = ms / 1000;
    int y = 0, mo = 0, d = 0;
    date.getDate(&y, &mo, &d);
    char buf[40];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.000", y, mo, d,
                                int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    return QString::fromLatin1(buf, n) + zoneSuffix;
}

TZoneOffsetPin::TZoneOffsetPin()
{
    if (!Clock::utcBiasOverride()) {
        Clock::setUtcBiasOverride(CurrentUtcBias());
        m_pinned = true;
    }
}

TZoneOffsetPin::~TZoneOffsetPin()
{
    if (m_pinned) Clock::setUtcBiasOverride(std::nullopt);
}

void AppendTaskElement(pugi::xml_node tasks, const TTaskInfo& task, const QString& pid,
                       const QString& zoneSuffix)
{
    pugi::xml_node node = tasks.append_child("task");
    setAttr(node, "tid", task.tid);
    setAttr(node, "pid", pid);
    setAttr(node, "content", ExchangeContentText(task.content));
    setAttr(node, "check-flag", flagText(task.checkFlag));
    setAttr(node, "alarm-flag", flagText(task.alarmFlag));
    setAttr(node, "due-flag", flagText(task.dueFlag));
    setAttr(node, "text-color", QString::number(task.textColor));
    setAttr(node, "background-color", QString::number(task.backgroundColor));
    setAttr(node, "create-time", ExchangeTimeText(task.createTime, zoneSuffix));
    setAttr(node, "edit-time", ExchangeTimeText(task.editTime, zoneSuffix));
    setAttr(node, "check-time", ExchangeTimeText(task.checkTime, zoneSuffix));
    setAttr(node, "alarm-time", ExchangeTimeText(task.alarmTime, zoneSuffix));
    setAttr(node, "due-time", ExchangeTimeText(task.dueTime, zoneSuffix));
}

void AppendMemoElement(pugi::xml_node memos, const TMemoInfo& memo, const QString& pid,
                       const QString& zoneSuffix)
{
    pugi::xml_node node = memos.append_child("memo");
    setAttr(node, "mid", memo.mid);
    setAttr(node, "pid", pid);
    setAttr(node, "content", ExchangeContentText(memo.content));
    setAttr(node, "assign-time", ExchangeTimeText(memo.assignTime, zoneSuffix));
    setAttr(node, "create-time", ExchangeTimeText(memo.createTime, zoneSuffix));
    setAttr(node, "edit-time", ExchangeTimeText(memo.editTime, zoneSuffix));
}

bool WriteTaskSelection(const QString& fileName, const std::vector<SelectedItem<TTaskInfo>>& itemsInTreeOrder,
                        const QString& appVersion)
{
    return writeSelection(fileName, itemsInTreeOrder, appVersion, "zorvik,tasks", AppendTaskElement);
}

bool WriteMemoSelection(const QString& fileName, const std::vector<SelectedItem<TMemoInfo>>& itemsInTreeOrder,
                        const QString& appVersion)
{
    return writeSelection(fileName, itemsInTreeOrder, appVersion, "zorvik,memos", AppendMemoElement);
}

bool ExportTaskSelection(QWidget* parent, const std::vector<SelectedItem<TTaskInfo>>& itemsInTreeOrder,
                         const QString& appVersion)
{
    return ExportSelection(parent, itemsInTreeOrder, appVersion, ExportDialogRequest(), &WriteTaskSelection);
}

bool ExportMemoSelection(QWidget* parent, const std::vector<SelectedItem<TMemoInfo>>& itemsInTreeOrder,
                         const QString& appVersion)
{
    return ExportSelection(parent, itemsInTreeOrder, appVersion, ExportDialogRequest(), &WriteMemoSelection);
}

FileDialogRequest OneFilterDialogRequest(FileDialogRequest::Mode mode, const QString& filter,
                                         const QString& suffix)
{
    FileDialogRequest request;
    request.mode = mode;
    request.filter = filter;
    request.defaultSuffix = suffix;
    request.confirmOverwrite = mode == FileDialogRequest::Mode::Save;
    return request;
}

FileDialogRequest ExportDialogRequest()
{
    return OneFilterDialogRequest(FileDialogRequest::Mode::Save, trc("Zorvik Database,  (*.zvx)"),
                                  QStringLiteral("zvx"));
}

FileDialogRequest OpenExchangeDialogRequest()
{
    return OneFilterDialogRequest(FileDialogRequest::Mode::Open, trc("Zorvik Database, (*.zvx)"),
                                  QStringLiteral("zvx"));
}

} // namespace zv
