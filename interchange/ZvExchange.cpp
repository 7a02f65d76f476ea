#include "interchange/ZvExchange.h"

#include "interchange/ZvRows.h"
#include "platform/ZvFileDialog.h"
#include "store/ZvDateTime.h"
#include "store/ZvSeams.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QDate>
#include <cmath>
#include <cstdio>
#include <exception>
#include <variant>

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

} // namespace

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
    // Whole days from the zero date; the fraction, without sign, is the time of day.
    constexpr qint64 msPerDay = 86400000;
    // A value the four-digit year cannot carry (another tool wrote it: infinity, NaN, a
    // year before 1 or after 9999) would give a text no reader takes back: it is written as
    // the zero date, so every backup can be restored.
    constexpr double firstDay = -693593.0; // 0001-01-01
    constexpr double lastDay = 2958465.0;  // 9999-12-31
    if (!std::isfinite(value) || value <= firstDay - 1.0 || value >= lastDay + 1.0) value = 0.0;
    const double whole = std::trunc(value);
    qint64 ms = qint64(std::llround(std::fabs(value - whole) * double(msPerDay)));
    QDate date = DateOf(whole);
    if (ms >= msPerDay) {
        date = date.addDays(1);
        ms = 0;
    }
    if (date.year() < 1 || date.year() > 9999) {
        date = DateOf(0.0);
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

template <class R>
void AppendElement(pugi::xml_node container, const R& record, const QString& pid, const QString& zoneSuffix)
{
    pugi::xml_node node = container.append_child(TZvRecordKind<R>::element);
    for (const TZvField<R>& f : TZvRecordKind<R>::fields()) {
        if (!f.attribute) continue;
        std::visit(
            [&](auto m) {
                using V = std::remove_cv_t<std::remove_reference_t<decltype(record.*m)>>;
                if constexpr (std::is_same_v<V, QString>)
                    setAttr(node, f.attribute,
                            f.member == TZvMember<R>(&R::pid) ? pid
                            : f.lines                         ? ExchangeContentText(record.*m)
                                                              : record.*m);
                else if constexpr (std::is_same_v<V, bool>)
                    setAttr(node, f.attribute, flagText(record.*m));
                else if constexpr (std::is_same_v<V, int>)
                    setAttr(node, f.attribute, QString::number(record.*m));
                else
                    setAttr(node, f.attribute, ExchangeTimeText(record.*m, zoneSuffix));
            },
            f.member);
    }
}

template <class R> void AppendRowElement(pugi::xml_node container, TADOQuery& q, const QString& zoneSuffix)
{
    // Straight from the columns' text: a null flag or colour becomes the empty text.
    static TZvColumnSet<R> columns;
    pugi::xml_node node = container.append_child(TZvRecordKind<R>::element);
    const auto fields = TZvRecordKind<R>::fields();
    for (size_t i = 0; i < fields.size(); ++i) {
        const TZvField<R>& f = fields[i];
        if (!f.attribute) continue;
        const TField field = columns(q, i);
        if (std::holds_alternative<TDateTime R::*>(f.member))
            setAttr(node, f.attribute, ExchangeTimeText(field.AsDateTime(), zoneSuffix));
        else
            setAttr(node, f.attribute, f.lines ? ExchangeContentText(field.AsString()) : field.AsString());
    }
}

template <class R>
bool WriteSelection(const QString& fileName, const std::vector<SelectedItem<R>>& items,
                    const QString& appVersion)
{
    try {
        TZoneOffsetPin zone;
        const QString suffix = ExchangeZoneSuffix();
        Txmltry xml;
        StartExchangeDocument(xml, appVersion);
        const pugi::xml_node container = xml.FindNode(ExchangeContainerPath<R>());
        ForEachWritten(items, [&](const R& record, bool topLevel) {
            AppendElement(container, record, topLevel ? kRootId : record.pid, suffix);
        });
        xml.SaveToFile(fileName, true);
        return true;
    } catch (const std::exception&) {
        MsgError(ExchangeWriteFailureText());
        return false;
    }
}

template <class R>
bool ExportSelection(QWidget* parent, const std::vector<SelectedItem<R>>& items, const QString& appVersion,
                     const FileDialogRequest& dialog, TZvSelectionWriter<R> writer)
{
    if (items.empty()) {
        MsgWarning(KindText(TZvRecordKind<R>::selectOne));
        return false;
    }
    const FileDialogResult chosen = FileDialogSeam::run(parent, dialog);
    if (chosen.fileName.isEmpty()) return false;
    return writer(chosen.fileName, items, appVersion);
}

#define ZV_EXCHANGE_FOR(R)                                                                                   \
    template void AppendElement<R>(pugi::xml_node, const R&, const QString&, const QString&);                \
    template void AppendRowElement<R>(pugi::xml_node, TADOQuery&, const QString&);                           \
    template bool WriteSelection<R>(const QString&, const std::vector<SelectedItem<R>>&, const QString&);    \
    template bool ExportSelection<R>(QWidget*, const std::vector<SelectedItem<R>>&, const QString&,          \
                                     const FileDialogRequest&, TZvSelectionWriter<R>);
ZV_EXCHANGE_FOR(TTaskInfo)
ZV_EXCHANGE_FOR(TMemoInfo)
#undef ZV_EXCHANGE_FOR

QString ExchangeWriteFailureText()
{
    return trc("File Write Failure !");
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
