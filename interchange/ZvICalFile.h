#pragma once

// iCalendar files (.ics): the selection writers and their Export actions, and the reader
// that import goes through. The reader takes a file of any size up to its limit with little
// memory: it reads the file twice, line by line, and parses one item at a time.

#include "interchange/ZvICalendar.h"
#include "platform/ZvFileDialog.h"
#include "store/ZvError.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

class QFile;
class QIODevice;
class QWidget;

namespace zv {

// ---- Writing --------------------------------------------------------------------------

// A calendar of the selection: a selected top-level item followed by all its children, a
// selected sub-item alone as a top-level item. On failure "File Write Failure !" and false.
template <class R>
bool WriteICalendarSelection(const QString& fileName, const std::vector<SelectedItem<R>>& itemsInTreeOrder,
                             const QString& appVersion);

// The Export iCalendar action after the frame's guards, as Export (ExportSelection<R>): a
// warning when nothing is selected, otherwise the save dialog and the writer. True when a
// file was written.
template <class R>
bool ExportICalendarSelection(QWidget* parent, const std::vector<SelectedItem<R>>& itemsInTreeOrder,
                              const QString& appVersion);

FileDialogRequest SaveICalendarDialogRequest();
FileDialogRequest OpenICalendarDialogRequest();

// ---- Reading --------------------------------------------------------------------------

// What a reader takes at most; beyond, a clear error or a counted skip.
struct TZvICalLimits
{
    static constexpr qint64 kFileBytes = qint64(256) << 20;      // larger: refused
    static constexpr qsizetype kLineBytes = qsizetype(1) << 20;  // longer (unfolded): left out, counted
    static constexpr qsizetype kItemBytes = qsizetype(16) << 20; // larger: skipped, counted
    static constexpr int kItems = 1000000;                       // more tasks and memos: refused
    static constexpr int kDepth = 3; // VCALENDAR > item > alarm; deeper: the item is damaged
};

// Entries of a file that are not imported, by kind.
enum class TZvICalSkip
{
    Events,
    FreeBusy,
    OtherEntries,
    Occurrences, // a changed occurrence of a repeating item (RECURRENCE-ID)
    Damaged,
    Oversized,
};
constexpr int kICalSkipKinds = 6;

// The import's count of what it stored and what it left out, and its closing message.
struct TZvICalTally
{
    int tasks = 0;
    int memos = 0;
    std::array<qint64, kICalSkipKinds> skipped{};
    std::array<int, kICalLossKinds> taskLosses{}; // items per kind of loss
    std::array<int, kICalLossKinds> memoLosses{};

    // One more item of kind R stored, and what it was stored without.
    template <class R> void count(quint32 losses);
    // "Imported 3 tasks and 1 memo."
    QString importedText() const;
    // The same followed by what was left out, e.g. " Not imported: 3 events; kept without
    // repeat rule: 2 tasks."
    QString message() const;
};

// Opens a file the user chose for reading as iCalendar; raises EZvError with the reason
// (the program's own database, not a file, too large, unreadable).
void OpenICalendarFile(QFile& file, const QString& fileName);

// The two passes over one file. The first (scan) gathers the time zones and each item's
// place in the two-level tree; the second (next) hands out the items one at a time, in the
// order of the file, each read through the mapping.
class TZvICalFileReader
{
public:
    // `device` is open, and read again from its start by the second pass.
    TZvICalFileReader(QIODevice& device, TZvICalContext& context);
    ~TZvICalFileReader();
    TZvICalFileReader(const TZvICalFileReader&) = delete;
    TZvICalFileReader& operator=(const TZvICalFileReader&) = delete;

    // The first pass. Raises EZvError when the file is not iCalendar or holds more items
    // than the limit. `tick` runs every 64 KiB read (about scanTicks() times); when it
    // returns false the scan stops and returns false.
    bool scan(const std::function<bool()>& tick = {});
    int scanTicks() const;
    int itemCount() const;
    // What the scan left out (the import adds it to its tally).
    const std::array<qint64, kICalSkipKinds>& skipped() const;

    struct Item
    {
        int index = 0;   // in file order, among the items
        int parent = -1; // the index of its top-level item; -1: it is one
        // The item as its kind reads it: a VTODO as a task, a VJOURNAL as a memo.
        std::variant<TZvICalRead<TTaskInfo>, TZvICalRead<TMemoInfo>> read;
        bool memo() const { return std::holds_alternative<TZvICalRead<TMemoInfo>>(read); }
    };
    // The second pass: the next item, false after the last. Raises EZvError when the file
    // changed since the scan.
    bool next(Item& item);

private:
    class TScanner;
    struct TEntry;
    void resolveFamilies();
    template <class R>
    void readItem(const QByteArray& text, const QByteArray& uid, quint32 losses, Item& item);

    QIODevice& m_device;
    TZvICalContext& m_context;
    std::unique_ptr<TScanner> m_scanner;
    std::vector<TEntry> m_entries;
    std::array<qint64, kICalSkipKinds> m_skipped{};
    quint64 m_seed = 0;
    int m_next = 0;
};

} // namespace zv
