#pragma once

#include "ZvRecords.h"
#include "ZvSystem.h"
#include "pU_XmlTry.h"

#include <QString>
#include <vector>

class QWidget;

namespace zv {

inline const QString kExchangeApp = QStringLiteral("Brisk-Mate");
inline const QString kExchangeDataVersion = QStringLiteral("1.1");

// The text every exchange document starts from: CR line breaks, 149 characters.
QString ExchangeTemplate();

// Loads the template and fills app, appversion and time on "zorvik", in that order.
void StartExchangeDocument(Txmltry& xml, const QString& appVersion);

// The writer's form of an item text: CR LF becomes LF, so that the library's escaping of
// the line feed and the reader's LF -> CR LF give the text back unchanged.
QString ExchangeContentText(const QString& content);

// The zone designator of the offset in force now: "Z", "+hh:mm" or "-hh:mm".
QString ExchangeZoneSuffix();
// The time text of a stored value: the text of IsoDateTimeText, with the zone designator
// taken once per file. The stored wall-clock value is written as it is (plain arithmetic,
// no round trip through the local zone), which is also what keeps a file of 100,000 rows
// fast.
QString ExchangeTimeText(TDateTime value, const QString& zoneSuffix);

// Keeps the zone offset of the moment an operation starts for all of its times, so that
// one file never mixes two offsets (a daylight-saving switch in the middle of a run).
class TZoneOffsetPin
{
public:
    TZoneOffsetPin();
    ~TZoneOffsetPin();
    TZoneOffsetPin(const TZoneOffsetPin&) = delete;
    TZoneOffsetPin& operator=(const TZoneOffsetPin&) = delete;

private:
    bool m_pinned = false;
};

// Appends one element with its attributes in file order, every value from the record.
void AppendTaskElement(pugi::xml_node tasks, const TTaskInfo& task, const QString& pid,
                       const QString& zoneSuffix);
void AppendMemoElement(pugi::xml_node memos, const TMemoInfo& memo, const QString& pid,
                       const QString& zoneSuffix);

// Selection writers: the selected items in tree order; a selected sub-item is written with
// pid "root", a selected top-level item is followed by all its children. On failure:
// "File Write Failure !" and false.
bool WriteTaskSelection(const QString& fileName, const std::vector<SelectedItem<TTaskInfo>>& itemsInTreeOrder,
                        const QString& appVersion);
bool WriteMemoSelection(const QString& fileName, const std::vector<SelectedItem<TMemoInfo>>& itemsInTreeOrder,
                        const QString& appVersion);

// The Export action after the frame's editing guard: a warning when nothing is selected,
// otherwise the save dialog and the selection writer. True when a file was written.
bool ExportTaskSelection(QWidget* parent, const std::vector<SelectedItem<TTaskInfo>>& itemsInTreeOrder,
                         const QString& appVersion);
bool ExportMemoSelection(QWidget* parent, const std::vector<SelectedItem<TMemoInfo>>& itemsInTreeOrder,
                         const QString& appVersion);

// The Export action's steps for any kind of file: a warning when nothing is selected
// ("Please select a task!" / "Please select a memo!"), otherwise the save dialog `dialog`
// and the writer on the chosen name. True when a file was written.
template <class T>
bool ExportSelection(QWidget* parent, const std::vector<SelectedItem<T>>& items, const QString& appVersion,
                     const FileDialogRequest& dialog,
                     bool (*writer)(const QString&, const std::vector<SelectedItem<T>>&, const QString&));

// The box a selection writer shows when it cannot write its file.
QString ExchangeWriteFailureText();

// A file dialog of one filter: an open dialog, or a save dialog that asks before replacing.
FileDialogRequest OneFilterDialogRequest(FileDialogRequest::Mode mode, const QString& filter,
                                         const QString& suffix);

// The file dialogs for exchange files (save: two blanks before the parenthesis).
FileDialogRequest ExportDialogRequest();
FileDialogRequest OpenExchangeDialogRequest();

} // namespace zv
