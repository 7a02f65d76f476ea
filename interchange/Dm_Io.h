#pragma once

#include "store/ZvDb.h"

#include <QObject>
#include <QString>
#include <exception>
#include <functional>
#include <memory>

class QWidget;

namespace zv {

class Txmltry;
class TIoProgress;

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

private:
    enum class Mode
    {
        Restore,
        Import
    };
    bool readFile(const QString& fileName, Mode mode);
    bool restoreItems(Txmltry& xml, TIoProgress& progress, TZvWriteBatch& batch);
    bool importItems(Txmltry& xml, TIoProgress& progress, TZvWriteBatch& batch);
    static bool step(TIoProgress& progress, TZvWriteBatch& batch);
    static QString errorText(const std::exception& e);
    int ask(const TReplaceQuestion& question);

    TADOConnection* m_connection;
    QWidget* m_window;
    std::unique_ptr<TADOQuery> m_query; // ADOQuery1
    QString m_appVersion;
    AskHandler m_ask;
    class TReplaceAskDlg* m_dialog = nullptr; // one for a whole restore run
};

} // namespace zv
