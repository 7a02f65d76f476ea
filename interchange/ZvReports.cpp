#include "interchange/ZvReports.h"

#include "interchange/ZvExchange.h"
#include "interchange/ZvSndMsg.h"
#include "platform/ZvFileDialog.h"
#include "store/ZvDb.h"
#include "store/ZvScopeExit.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <exception>

namespace zv {

namespace {

QString trc(const char* text)
{
    return QCoreApplication::translate("ZvReports", text);
}

const QString kHyphens = QStringLiteral("---------------------------------");

// Collects the lines of a report, each ending with CR LF.
class Lines
{
public:
    Lines& operator<<(const QString& line)
    {
        m_text += line;
        m_text += QLatin1String("\r\n");
        return *this;
    }
    QByteArray bytes() const { return m_text.toUtf8(); }

private:
    QString m_text;
};

// The item text's lines. A text may also hold bare LF or CR breaks (pasted text), which
// end a line just as CR LF does, so that every line of the report ends with CR LF.
QStringList textLines(const QString& content)
{
    return LfLineBreaks(content).split(QLatin1Char('\n'));
}

QString htmlText(const QString& content)
{
    // Item text is text, not markup: "<" would hide the rest of a line or inject tags.
    QString text = content;
    text.replace(QLatin1Char('&'), QLatin1String("&amp;"));
    text.replace(QLatin1Char('<'), QLatin1String("&lt;"));
    text.replace(QLatin1Char('>'), QLatin1String("&gt;"));
    return textLines(text).join(QLatin1String("<br> "));
}

QString plainText(const QString& content, int indent)
{
    return textLines(content).join(QLatin1String("\r\n") + QString(indent, QLatin1Char(' ')));
}

QString reportTime()
{
    return DateTimeText(Now());
}

// Main entries and the sub entries under selected top-level items.
template <class T> void countEntries(const std::vector<SelectedItem<T>>& items, int& main, int& sub)
{
    main = int(items.size());
    sub = 0;
    for (const SelectedItem<T>& item : items)
        if (item.level == 0) sub += int(item.children.size());
}

const char* const kHead =
    "color: #4f6b72; border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid #C1DAD7; "
    "border-top: 1px solid #C1DAD7;\ttext-align: left;\tpadding: 6px 6px 6px 12px;\t"
    "background: #CAE8EA;";

QString statusText(const TTaskInfo& t)
{
    if (!t.checkFlag) return QStringLiteral("Incomplete");
    return QStringLiteral("completed at ") + DateText(t.checkTime);
}

QString htmlDue(const TTaskInfo& t)
{
    if (!t.dueFlag) return QStringLiteral(" - ");
    return DateText(t.dueTime);
}

QString textStatus(const TTaskInfo& t)
{
    return QStringLiteral(" - ") + statusText(t);
}

QString textDue(const TTaskInfo& t)
{
    if (!t.dueFlag) return QString();
    return QStringLiteral(" - Due Date ") + DateText(t.dueTime);
}

void htmlFooter(Lines& out, const QString& version)
{
    out << QStringLiteral("<p>By Zorvik Jotboard ") + version + QStringLiteral("</p>")
        << QStringLiteral("<p><a href=\"%1\">%2</a></p>").arg(ReportLinkAddress(), kMakerMainPage)
        << QStringLiteral("</body></html>");
}

void textFooter(Lines& out, const QString& counts, const QString& version)
{
    out << QString() << kHyphens << counts << QStringLiteral(" By Zorvik Jotboard ") + version
        << QLatin1Char(' ') + kMakerMainPage;
}

bool writeReport(const QString& fileName, const QByteArray& bytes)
{
    // The report goes to a new file that replaces the old one only when complete. The
    // flush is checked on its own: commit() does not see a failed flush of the buffer.
    QSaveFile file(fileName);
    file.setDirectWriteFallback(true);
    if (IsDatabaseFile(fileName) || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
        !file.flush() || !file.commit()) {
        MsgError(trc("File write failure!"));
        return false;
    }
    return true;
}

} // namespace

QString ReportLinkAddress()
{
    return kMakerMainPage + QStringLiteral("?s-f");
}

QByteArray TZvRecordKind<TTaskInfo>::htmlReport(const std::vector<SelectedItem<TTaskInfo>>& items,
                                                const QString& version)
{
    const QString head = QString::fromLatin1(kHead);
    Lines out;
    out << QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>")
        << QStringLiteral("<h1>To-Do List</h1>")
        << QStringLiteral("<table style=\"width: 100%; padding: 0; margin: 0;\" cellspacing=\"0\">")
        << QStringLiteral("<tr><th scope=\"col\" style=\"%1\" >Task Content</th>").arg(head)
        << QStringLiteral("<th scope=\"col\" style=\"%1\" >Status</th>").arg(head)
        << QStringLiteral("<th scope=\"col\" style=\"%1\" >Due Date</th></tr>").arg(head);
    int stripe = 0;
    for (const SelectedItem<TTaskInfo>& item : items) {
        const QString color = stripe++ % 2 == 0 ? QStringLiteral("#F3F3FA") : QStringLiteral("#F5FFE8");
        const TTaskInfo& t = item.record;
        out << QStringLiteral("<tr><th scope=\"row\" style=\"color: #000000; border-right: 1px solid "
                              "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px solid "
                              "#C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px "
                              "12px;\tbackground: %1; font-weight: normal;\">")
                   .arg(color)
            << htmlText(t.content) + QStringLiteral("</th>")
            << QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                              "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: %1;\">%2</td>")
                   .arg(color, statusText(t))
            << QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                              "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: %1;\">%2</td>")
                   .arg(color, htmlDue(t))
            << QStringLiteral("</tr>");
        if (item.level != 0) continue;
        for (const TTaskInfo& c : item.children) {
            out << QStringLiteral("<tr><th scope=\"row\" style=\"color: #797268; border-right: 1px solid "
                                  "#C1DAD7;\tborder-bottom: 1px solid #C1DAD7; border-left: 1px solid "
                                  "#C1DAD7;\tborder-top: 0; text-align: left;\tpadding: 6px 6px 6px "
                                  "32px;\tbackground: #ffffff; font-size: 90%; font-weight: normal;\">")
                << htmlText(c.content) + QStringLiteral("</th>")
                << QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                                  "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: #ffffff; color: #797268; "
                                  "font-size: 90%;\">%1</td>")
                       .arg(statusText(c))
                << QStringLiteral("<td style=\"border-right: 1px solid #C1DAD7;\tborder-bottom: 1px solid "
                                  "#C1DAD7;\tpadding: 6px 6px 6px 12px; background: #ffffff; color: #797268; "
                                  "font-size: 90%;\">%1</td>")
                       .arg(htmlDue(c))
                << QStringLiteral("</tr>");
        }
    }
    int n = 0, m = 0;
    countEntries(items, n, m);
    out << QStringLiteral("</table>")
        << QStringLiteral("<p>Tasks %1, Sub-Tasks %2 - %3</p>").arg(n).arg(m).arg(reportTime());
    htmlFooter(out, version);
    return out.bytes();
}

QByteArray TZvRecordKind<TTaskInfo>::textReport(const std::vector<SelectedItem<TTaskInfo>>& items,
                                                const QString& version)
{
    Lines out;
    out << QStringLiteral("To-Do List") << kHyphens << QString();
    for (const SelectedItem<TTaskInfo>& item : items) {
        const TTaskInfo& t = item.record;
        out << QStringLiteral(" * ") + plainText(t.content, 3) + textStatus(t) + textDue(t);
        if (item.level != 0) continue;
        for (const TTaskInfo& c : item.children)
            out << QStringLiteral("   - ") + plainText(c.content, 5) + textStatus(c) + textDue(c);
    }
    int n = 0, m = 0;
    countEntries(items, n, m);
    textFooter(out, QStringLiteral(" Tasks %1, Sub-Tasks %2 - %3").arg(n).arg(m).arg(reportTime()), version);
    return out.bytes();
}

QByteArray TZvRecordKind<TMemoInfo>::htmlReport(const std::vector<SelectedItem<TMemoInfo>>& items,
                                                const QString& version)
{
    Lines out;
    out << QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>")
        << QStringLiteral("<h1>Memos</h1>")
        << QStringLiteral("<hr style=\"background: #666;color: #666;height: 1px; margin: 0 5px 0 5px;\"></>")
        << QStringLiteral("<ul style=\"list-style-type: disc; font-size: 105%;\">");
    int stripe = 0;
    for (const SelectedItem<TMemoInfo>& item : items) {
        const QString color = stripe++ % 2 == 0 ? QStringLiteral("#F3F3FA") : QStringLiteral("#D1E9E9");
        out << QStringLiteral("<li><p style=\"margin: 4px 0 4px 0; padding: 0 0 0 10px; background: %1;\">")
                   .arg(color)
            << htmlText(item.record.content) + QStringLiteral("</p></li>");
        if (item.level != 0) continue;
        out << QStringLiteral(
            "<ul style=\"list-style-type: circle; margin: 0 0 5px 15px; font-size: 95%;\">");
        int subStripe = 0;
        for (const TMemoInfo& c : item.children) {
            const QString sub = subStripe++ % 2 == 0 ? QStringLiteral("#fff") : QStringLiteral("#F5FFE8");
            out << QStringLiteral("<li><p style=\"margin: 2px 0 2px 0; padding: 0 0 0 10; background: %1;\">")
                       .arg(sub)
                << htmlText(c.content) + QStringLiteral("</p></li>");
        }
        out << QStringLiteral("</ul>");
    }
    int n = 0, m = 0;
    countEntries(items, n, m);
    out << QStringLiteral("</ul>")
        << QStringLiteral("<hr /><p>Memos %1, Sub-Memos %2 - %3</p>").arg(n).arg(m).arg(reportTime());
    htmlFooter(out, version);
    return out.bytes();
}

QByteArray TZvRecordKind<TMemoInfo>::textReport(const std::vector<SelectedItem<TMemoInfo>>& items,
                                                const QString& version)
{
    Lines out;
    out << QStringLiteral("Memos") << kHyphens << QString();
    for (const SelectedItem<TMemoInfo>& item : items) {
        out << QStringLiteral(" * ") + plainText(item.record.content, 3);
        if (item.level != 0) continue;
        for (const TMemoInfo& c : item.children)
            out << QStringLiteral("   - ") + plainText(c.content, 5);
    }
    int n = 0, m = 0;
    countEntries(items, n, m);
    textFooter(out, QStringLiteral(" Memos %1, Sub-Memos %2 - %3").arg(n).arg(m).arg(reportTime()), version);
    return out.bytes();
}

FileDialogRequest SaveReportDialogRequest()
{
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    // Qt reads the patterns between the parentheses separated by blanks.
    request.filters = QStringList{trc("Text file (*.txt)"), trc("HTML file (*.htm *.html)")};
    request.filter = request.filters.first();
    request.confirmOverwrite = true;
    return request;
}

ReportFormat ReportFormatOfFilter(int filterIndex)
{
    return filterIndex == 1 ? ReportFormat::Html : ReportFormat::Text;
}

QString ReportFileName(const QString& chosen, ReportFormat format)
{
    const QString extension = format == ReportFormat::Html ? QStringLiteral(".html") : QStringLiteral(".txt");
    const qsizetype nameStart = chosen.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype dot = chosen.lastIndexOf(QLatin1Char('.'));
    if (dot > nameStart) return chosen.left(dot) + extension;
    return chosen + extension;
}

template <class R>
bool WriteHtml(const QString& fileName, const std::vector<SelectedItem<R>>& items, const QString& version)
{
    return writeReport(fileName, HtmlReport(items, version));
}

template <class R>
bool WriteText(const QString& fileName, const std::vector<SelectedItem<R>>& items, const QString& version)
{
    return writeReport(fileName, TextReport(items, version));
}

template <class R>
bool WriteReport(ReportFormat format, const QString& fileName, bool all, const TReportSource<R>& source,
                 const QString& version)
{
    if (all && source.selectAllVisible) source.selectAllVisible();
    const auto deselect = ScopeExit([&] {
        if (all && source.deselectAll) source.deselectAll();
    });
    std::vector<SelectedItem<R>> items;
    try {
        if (source.selection) items = source.selection();
    } catch (const std::exception&) {
        MsgError(trc("File write failure!"));
        return false;
    }
    return format == ReportFormat::Html ? WriteHtml(fileName, items, version)
                                        : WriteText(fileName, items, version);
}

template <class R>
bool SaveReport(QWidget* parent, bool all, const TReportSource<R>& source, const QString& version)
{
    const FileDialogResult chosen = FileDialogSeam::run(parent, SaveReportDialogRequest());
    if (chosen.fileName.isEmpty()) return false;
    const ReportFormat format = ReportFormatOfFilter(chosen.filterIndex);
    const QString fileName = ReportFileName(chosen.fileName, format);
    // The dialog asked about the name typed; a different file of the final name would
    // otherwise be replaced without a word.
    if (fileName != chosen.fileName && QFileInfo::exists(fileName) &&
        MsgAsk(trc("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(fileName).fileName())) !=
            IdOk)
        return false;
    return WriteReport(format, fileName, all, source, version);
}

template <class R>
bool EmailSelection(TZvSendMessage& mailer, const std::vector<SelectedItem<R>>& items,
                    const QString& programFolder, const QString& version)
{
    const QDir folder(programFolder);
    const QString baseName = QString::fromLatin1(TZvRecordKind<R>::fileBase);
    const QString htmlName = baseName + QStringLiteral(".html");
    const QString dataName = baseName + QStringLiteral(".zvx");
    const QString htmlFile = folder.absoluteFilePath(QStringLiteral("Temp/") + htmlName);
    const QString dataFile = folder.absoluteFilePath(QStringLiteral("Temp/") + dataName);
    // Temp comes with the program; one the user removed fails the writers, who say so.
    if (!WriteHtml(htmlFile, items, version)) return false;
    if (!WriteSelection(dataFile, items, version)) return false;
    try {
        mailer.Reset();
        mailer.Subject = KindText(TZvRecordKind<R>::mailSubject);
        mailer.MessageText << htmlName + QStringLiteral(": ") +
                                  trc("HTML file, you can open it with website browser.")
                           << dataName + QStringLiteral(": ") +
                                  trc("Zorvik data file, you can import it into Zorvik software directly.");
        mailer.Attachments << htmlFile << dataFile;
        mailer.Send();
    } catch (...) {
        // The mail step's errors, the user's abort among them, are not shown.
    }
    return true;
}

#define ZV_REPORTS_FOR(R)                                                                                    \
    template bool WriteHtml<R>(const QString&, const std::vector<SelectedItem<R>>&, const QString&);         \
    template bool WriteText<R>(const QString&, const std::vector<SelectedItem<R>>&, const QString&);         \
    template bool WriteReport<R>(ReportFormat, const QString&, bool, const TReportSource<R>&,                \
                                 const QString&);                                                            \
    template bool SaveReport<R>(QWidget*, bool, const TReportSource<R>&, const QString&);                    \
    template bool EmailSelection<R>(TZvSendMessage&, const std::vector<SelectedItem<R>>&, const QString&,    \
                                    const QString&);
ZV_REPORTS_FOR(TTaskInfo)
ZV_REPORTS_FOR(TMemoInfo)
#undef ZV_REPORTS_FOR

} // namespace zv
