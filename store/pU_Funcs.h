#pragma once

#include "store/ZvDateTime.h"
#include "store/ZvDb.h"
#include "store/ZvError.h"
#include "store/ZvSeams.h"

#include <QString>

namespace zv {

inline const QString kRootId = QStringLiteral("root");
inline const QString kAppTitle = QStringLiteral("Zorvik Jotboard");
// The maker's main web page: the Website command opens it, the reports link to it.
inline const QString kMakerMainPage = QStringLiteral("https://www.zorvik.example/jotboard/");

// Query routines: close, clear, add the one line, then open or execute.
void OpenQuery(TADOQuery& query, const QString& sql);
void ExecQuery(TADOQuery& query, const QString& sql);

// An id or the root marker as it enters SQL text: single quotes, inner quotes doubled.
QString QuoteId(const QString& id);

// Message boxes (no icon), answered through MessageSeam. MsgAsk returns 1 (OK) or 2.
int MsgAsk(const QString& text);
void MsgError(const QString& text);
void MsgWarning(const QString& text);
void MsgTip(const QString& text);

// The program-wide error box: caption "Zorvik Jotboard", error icon, OK; a full stop is
// appended when the last character sorts after ".".
QString AppErrorText(const QString& message);
void ShowAppError(const QString& message);

// Every line feed, then every carriage return, becomes one blank.
QString SingleLine(const QString& text);
// Line breaks in any of their forms (CR LF, LF, a lone CR) as LF only, the form of editors,
// painters and the mail hand-off; and as CR LF, the form the items are stored in.
QString LfLineBreaks(const QString& text);
QString CrLfLineBreaks(const QString& text);

// UTC minus local time, in minutes, for the zone in force now.
int CurrentUtcBias();
// "yyyy-mm-ddThh:nn:ss.000" with "Z" or the current offset as +hh:mm / -hh:mm.
QString IsoDateTimeText(TDateTime value);
// The exchange file's time rule: an XML Schema date-time, converted from its written
// offset (none or "Z" meaning UTC) to the current local offset. Raises
// "Invalid date string: %s" / "Invalid time string: %s".
TDateTime ParseIsoDateTime(const QString& text);

// A new id: {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, upper case.
QString NewGuidText();

// Current local date-time as stored (through the Clock seam).
TDateTime Now();

// Removes trailing blanks and control characters (anything up to the space code).
QString TrimRight(const QString& text);
QString TrimBoth(const QString& text);

// Text that comes from outside the window (the command line, standard input) with the line
// breaks typed text gets: every CR LF, lone LF, lone CR and Unicode line or paragraph
// separator becomes CR LF.
QString CrLfLines(const QString& text);

// Display texts: the short date; the short date, a blank and the long time (the time left
// out at exactly midnight).
QString DateText(TDateTime value);
QString DateTimeText(TDateTime value);

} // namespace zv
