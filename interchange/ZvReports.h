#pragma once

// The text and HTML reports of both frames, the save chooser between them, and the e-mail
// action that sends the HTML report and the exchange file of the selection.
//
// Reports are UTF-8 without a byte-order mark; every line ends with CR LF, the last one too.
// The input is the selection in tree order (SelectedItem: a selected top-level item carries
// all its children, hidden ones included; a selected sub-item is written alone).

#include "interchange/ZvRecordKind.h"
#include "platform/ZvFileDialog.h"
#include "platform/ZvSystem.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace zv {

class TZvSendMessage;

// The report's link: the maker's main page, with "?s-f" in the address it points to.
QString ReportLinkAddress();

// ---- The reports -------------------------------------------------------------------
// Each record kind's own (TZvRecordKind<R>::htmlReport, textReport). The report time is the
// Clock seam's now; version is the program's file version.
template <class R> QByteArray HtmlReport(const std::vector<SelectedItem<R>>& items, const QString& version)
{
    return TZvRecordKind<R>::htmlReport(items, version);
}
template <class R> QByteArray TextReport(const std::vector<SelectedItem<R>>& items, const QString& version)
{
    return TZvRecordKind<R>::textReport(items, version);
}

// Each writes its report to fileName; on failure "File write failure!" (MsgError) and false.
// A file already there is replaced only by a complete report.
template <class R>
bool WriteHtml(const QString& fileName, const std::vector<SelectedItem<R>>& items, const QString& version);
template <class R>
bool WriteText(const QString& fileName, const std::vector<SelectedItem<R>>& items, const QString& version);

// ---- Save and Save All --------------------------------------------------------------
enum class ReportFormat
{
    Text,
    Html
};

// The save dialog: "Text file (*.txt)" (index 0) and "HTML file (*.htm *.html)" (index 1),
// no default suffix, the overwrite question.
FileDialogRequest SaveReportDialogRequest();
ReportFormat ReportFormatOfFilter(int filterIndex);
// The chosen name with its extension replaced by ".txt" or ".html", or that added when
// the name has none. A leading dot of the file's name (a hidden file) is no extension.
QString ReportFileName(const QString& chosen, ReportFormat format);

// What a frame gives the report writers: its selection in tree order and, for Save All,
// the tree's select-all of visible nodes and deselect.
template <class T> struct TReportSource
{
    std::function<std::vector<SelectedItem<T>>()> selection;
    std::function<void()> selectAllVisible;
    std::function<void()> deselectAll;
};

// The writers' common frame: with all, select every visible node first and deselect
// afterwards, also when writing failed.
template <class R>
bool WriteReport(ReportFormat format, const QString& fileName, bool all, const TReportSource<R>& source,
                 const QString& version);

// SaveReport(all) after the frame's editing guard: the save dialog, then the writer of the
// chosen filter under the name the extension rule gives. When that name is not the one the
// dialog confirmed and a file of that name exists, the user is asked before it is replaced.
// True when a report was written.
template <class R>
bool SaveReport(QWidget* parent, bool all, const TReportSource<R>& source, const QString& version);

// ---- E-mail -------------------------------------------------------------------------
// The E-mail action after the frame's editing guard: the HTML report and the exchange file
// of the selection to "Temp/Tasks.html" and "Temp/Tasks.zvx" of the program folder (memos:
// "Temp/Memos.*"), then a new message with both attached, HTML first. False when a file
// could not be written (its error box was shown; no mail). Errors of the mail step are
// caught and not shown.
template <class R>
bool EmailSelection(TZvSendMessage& mailer, const std::vector<SelectedItem<R>>& items,
                    const QString& programFolder, const QString& version);

} // namespace zv
