#pragma once

#include "platform/ZvFileDialog.h"
#include "store/ZvDb.h"

#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

class QIODevice;
class QWidget;

namespace zv {

class Txmltry;
class TIoProgress;
class TZvICalFileReader;
struct TZvICalImportState;

// What the "Confirm Replace" question shows.
struct TReplaceQuestion
{
    QString caption;  // "Would you like to replace the existing task" / "... memo"
    QString oldTitle; // the stored item's text on one line
    QString oldTime;  // "modified: " + its edit time
    QString newTitle;
    QString newTime;
};

// Whole-database moves through the exchange file: backup, restore (merge by id, asking
// before an existing item is replaced) and import (added under new ids).
class TIoDm : public QObject
{
    Q_OBJECT
public:
    // Rows posted in one transaction by restore and import; at most this many are lost
    // when the commit of a batch fails.
    static constexpr int kBatchRows = 256;

    using AskHandler = std::function<int(const TReplaceQuestion&)>;

    explicit TIoDm(TADOConnection* connection, QWidget* window = nullptr, QObject* parent = nullptr);
    ~TIoDm() override;

    // The FileVersion text written into every file's root.
    void setAppVersion(const QString& version) { m_appVersion = version; }
    QString appVersion() const { return m_appVersion; }

    // Tests answer the replace question here instead of the dialog (IdYes, IdYesToAll,
    // IdNo, IdAbort; anything else skips the item as No).
    void setAskHandler(AskHandler handler) { m_ask = std::move(handler); }

    // True when a file was written.
    bool BackupDatabase();
    // True when the reading ran to its end or was stopped by Abort (or Cancel): the
    // trees must reload. False when cancelled, unreadable, or ended by an error.
    bool RestoreDatabase();
    bool ImportDatabase();

    // The same operations on a file already chosen (the dialog step left out).
    bool BackupToFile(const QString& fileName);
    bool RestoreFromFile(const QString& fileName);
    bool ImportFromFile(const QString& fileName);

    // Before a restore or an import changes anything, a copy of the database goes into the
    // program folder's "Snapshots" (the newest five are kept); a copy that cannot be written
    // stops the command, with the reason. Whether the last restore or import came that far
    // (and so may have changed items):
    bool SnapshotTaken() const { return m_snapshotTaken; }
    // "&Undo Last Restore/Import": after a question, the newest copy is put back into the
    // open database and removed (the next time, the one before it). True when it was put back.
    bool UndoLastRestoreImport();
    bool CanUndoRestoreImport() const;

    // An iCalendar file imported as Import does: its VTODOs as tasks and its VJOURNALs as
    // memos under new ids, each sub-item under its top-level item; a closing tip says what
    // was imported and what was left out. Results as ImportDatabase.
    bool ImportICalendar();
    bool ImportICalendarFromFile(const QString& fileName);
    // The same on calendar data already open (read twice, from its start).
    bool ImportICalendarFrom(QIODevice& device);

private:
    enum class Mode
    {
        Restore,
        Import
    };
    // The file dialog, then the operation on the chosen file.
    bool onChosenFile(const FileDialogRequest& dialog, bool (TIoDm::*operation)(const QString&));
    bool readFile(const QString& fileName, Mode mode);
    // After an error ended a reading operation: the message to show, once what was posted
    // is stored (or the commit's own message when that failed too).
    QString stopAfter(const std::exception& e, TZvWriteBatch& batch);
    bool restoreItems(Txmltry& xml, TIoProgress& progress, TZvWriteBatch& batch);
    bool importItems(Txmltry& xml, TIoProgress& progress, TZvWriteBatch& batch);
    bool importICalItems(TZvICalFileReader& reader, TIoProgress& progress, TZvWriteBatch& batch,
                         TZvICalImportState& state);
    void raiseOrphans(const TZvICalImportState& state, bool failed);
    static bool step(TIoProgress& progress, TZvWriteBatch& batch);
    static QString errorText(const std::exception& e);
    void takeSnapshot(const QString& command);
    QString programFolder() const;
    int ask(const TReplaceQuestion& question);

    TADOConnection* m_connection;
    QWidget* m_window;
    std::unique_ptr<TADOQuery> m_query; // ADOQuery1
    QString m_appVersion;
    AskHandler m_ask;
    bool m_snapshotTaken = false;
    class TReplaceAskDlg* m_dialog = nullptr; // one for a whole restore run
};

} // namespace zv
