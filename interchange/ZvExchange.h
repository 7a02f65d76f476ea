#pragma once

#include "interchange/ZvRecordKind.h"
#include "interchange/pU_XmlTry.h"
#include "platform/ZvFileDialog.h"
#include "platform/ZvSystem.h"
#include "store/ZvDb.h"

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

// The path of a kind's container in the exchange document ("zorvik,tasks"), and of its
// items ("zorvik,tasks,task#", an index to follow).
template <class R> QString ExchangeContainerPath()
{
    return QStringLiteral("zorvik,") + QLatin1String(TZvRecordKind<R>::table);
}
template <class R> QString ExchangeItemPath()
{
    return ExchangeContainerPath<R>() + QLatin1Char(',') + QLatin1String(TZvRecordKind<R>::element) +
           QLatin1Char('#');
}

// Appends one element with its attributes in file order, every value from the record, with
// `pid` for its pid.
template <class R>
void AppendElement(pugi::xml_node container, const R& record, const QString& pid, const QString& zoneSuffix);
// The same from the current row of a "select *" result (the backup): every value straight
// from the column's text, so a null flag or colour is written as the empty text.
template <class R> void AppendRowElement(pugi::xml_node container, TADOQuery& q, const QString& zoneSuffix);

// The selection writer: the selected items in tree order; a selected sub-item is written
// with pid "root", a selected top-level item is followed by all its children. On failure:
// "File Write Failure !" and false.
template <class R>
bool WriteSelection(const QString& fileName, const std::vector<SelectedItem<R>>& itemsInTreeOrder,
                    const QString& appVersion);

// The Export action after the frame's editing guard: a warning when nothing is selected
// ("Please select a task!"), otherwise the save dialog and the selection writer. True when
// a file was written.
template <class R>
bool ExportSelection(QWidget* parent, const std::vector<SelectedItem<R>>& itemsInTreeOrder,
                     const QString& appVersion);

// The file dialogs for exchange files (save: two blanks before the parenthesis).
FileDialogRequest ExportDialogRequest();
FileDialogRequest OpenExchangeDialogRequest();

} // namespace zv
