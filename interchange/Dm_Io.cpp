#include "interchange/Dm_Io.h"

#include "interchange/Dlg_ReplaceAsk.h"
#include "interchange/ZvExchange.h"
#include "interchange/ZvICalFile.h"
#include "interchange/ZvIoBusy.h"
#include "interchange/ZvRows.h"
#include "interchange/pU_XmlTry.h"
#include "platform/ZvFileDialog.h"
#include "platform/ZvSystem.h"
#include "store/ZvDbSnapshot.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <variant>

namespace zv {

namespace {

QString trc(const char* text)
{
    return QCoreApplication::translate("TIoDm", text);
}

// The attributes of one item, each read through the path at most once (so a missing one
// shows its box once).
// A missing one shows its box, so `beforeBox` runs first (the open batch is committed: the
// box runs an event loop of its own).
class TItemAttrs
{
public:
    TItemAttrs(Txmltry& xml, QString path, const std::function<void()>& beforeBox)
        : m_xml(xml), m_path(std::move(path)), m_node(xml.FindNode(m_path)), m_beforeBox(beforeBox)
    {}
    QString get(const char* name)
    {
        for (const auto& entry : m_cache)
            if (std::strcmp(entry.first, name) == 0) return entry.second;
        if (!m_node.attribute(name)) m_beforeBox();
        m_cache.append({name, m_xml.ReadAttrOf(m_node, m_path, name)});
        return m_cache.back().second;
    }

private:
    Txmltry& m_xml;
    QString m_path;
    pugi::xml_node m_node;
    const std::function<void()>& m_beforeBox;
    QVarLengthArray<std::pair<const char*, QString>, 16> m_cache;
};

QString StoredContent(const QString& text)
{
    QString content = text;
    content.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return content;
}

void setTime(TADOQuery& q, const char* column, const QString& text)
{
    q.FieldByName(QString::fromLatin1(column)).setAsDateTime(ParseIsoDateTime(text));
}

void setText(TADOQuery& q, const QString& column, const QString& text)
{
    q.FieldByName(column).setAsString(text);
}

// Everything after the ids, in the file's order, as the record kind lists it.
template <class R> void writeValues(TADOQuery& q, TItemAttrs& item)
{
    for (const TZvField<R>& f : TZvRecordKind<R>::fields()) {
        if (!f.attribute || f.member == TZvMember<R>(TZvRecordKind<R>::id) ||
            f.member == TZvMember<R>(&R::pid))
            continue;
        const QString value = item.get(f.attribute);
        if (std::holds_alternative<TDateTime R::*>(f.member))
            setTime(q, f.column, value);
        else
            setText(q, QString::fromLatin1(f.column), f.lines ? StoredContent(value) : value);
    }
}

template <class R> const char* attributeOf(TZvMember<R> member)
{
    return FieldOf<R>(member).attribute;
}

// The memo pass, then the task pass: `each` is called with a record of each kind.
template <class F> bool forEachKind(F&& each)
{
    return each(TMemoInfo{}) && each(TTaskInfo{});
}

// The rows under `parentId` become top-level items when no row of that id is stored.
template <class R> void raiseChildren(TADOQuery& q, const QString& parentId)
{
    using Rows = TZvRows<R>;
    ExecQuery(
        q,
        QStringLiteral("update %1 set %2=%3 where %2=%4 and not exists (select 1 from %1 where %5=%4)")
            .arg(Rows::Table(), ColumnOf<R>(&R::pid), QuoteId(kRootId), QuoteId(parentId), Rows::IdColumn()));
}

} // namespace

// What one iCalendar import has done so far.
struct TZvICalImportState
{
    TZvICalTally tally;
    std::vector<QUuid> ids;                     // each item's new id, made when first needed
    std::vector<bool> stored;                   // posted (and committed, unless a commit failed)
    std::vector<std::pair<int, bool>> waitedOn; // top-level items (and whether memos) whose
                                                // sub-items came first in the file
    bool cancelled = false;

    QString idOf(int item)
    {
        QUuid& id = ids[size_t(item)];
        if (id.isNull()) id = QUuid::createUuid();
        return GuidText(id);
    }
};

TIoDm::TIoDm(TADOConnection* connection, QWidget* window, QObject* parent)
    : QObject(parent), m_connection(connection), m_window(window),
      m_query(std::make_unique<TADOQuery>(connection))
{}

TIoDm::~TIoDm() = default;

int TIoDm::ask(const TReplaceQuestion& question)
{
    // The program is ending: no more questions, the run stops as with Abort.
    if (TIoBusyNotifier::cancelRequested()) return IdAbort;
    if (m_ask) return m_ask(question);
    if (!m_dialog) m_dialog = new TReplaceAskDlg(m_window);
    m_dialog->Label_Caption->setText(question.caption);
    m_dialog->Label_oldTitle->setText(question.oldTitle);
    m_dialog->Label_oldTime->setText(question.oldTime);
    m_dialog->Label_newTitle->setText(question.newTitle);
    m_dialog->Label_newTime->setText(question.newTime);
    const int answer = m_dialog->exec();
    return TIoBusyNotifier::cancelRequested() ? int(IdAbort) : answer;
}

bool TIoDm::onChosenFile(const FileDialogRequest& dialog, bool (TIoDm::*operation)(const QString&))
{
    TIoBusyScope busy;
    const FileDialogResult chosen = FileDialogSeam::run(m_window, dialog);
    if (chosen.fileName.isEmpty()) return false;
    return (this->*operation)(chosen.fileName);
}

bool TIoDm::BackupDatabase()
{
    return onChosenFile(ExportDialogRequest(), &TIoDm::BackupToFile);
}

bool TIoDm::BackupToFile(const QString& fileName)
{
    TIoBusyScope busy;
    TZoneOffsetPin zone;
    const QString suffix = ExchangeZoneSuffix();
    TADOQuery& q = *m_query;
    Txmltry xml;
    StartExchangeDocument(xml, m_appVersion);

    // Reading the tables is not guarded here: its errors reach the program-wide box.
    const int total = TZvRows<TMemoInfo>::Count(q) + TZvRows<TTaskInfo>::Count(q);
    TIoProgress progress(m_window, trc("Writing the backup..."), total);
    const bool done = forEachKind([&](auto record) {
        using R = decltype(record);
        TZvRows<R>::OpenAll(q);
        const pugi::xml_node container = xml.FindNode(ExchangeContainerPath<R>());
        for (q.First(); !q.Eof(); q.Next()) {
            if (!progress.step()) return false;
            AppendRowElement<R>(container, q, suffix);
        }
        return true;
    });
    if (!done) return false;
    q.Close();

    try {
        xml.SaveToFile(fileName, true);
    } catch (const std::exception&) {
        MsgError(trc("File write failure!"));
        return false;
    }
    return true;
}

bool TIoDm::RestoreDatabase()
{
    return onChosenFile(OpenExchangeDialogRequest(), &TIoDm::RestoreFromFile);
}

bool TIoDm::ImportDatabase()
{
    return onChosenFile(OpenExchangeDialogRequest(), &TIoDm::ImportFromFile);
}

bool TIoDm::RestoreFromFile(const QString& fileName)
{
    return readFile(fileName, Mode::Restore);
}

bool TIoDm::ImportFromFile(const QString& fileName)
{
    return readFile(fileName, Mode::Import);
}

QString TIoDm::programFolder() const
{
    // The database lives in the program folder.
    return QFileInfo(m_connection->dataSource()).absolutePath() + QLatin1Char('/');
}

void TIoDm::takeSnapshot(const QString& command)
{
    try {
        TZvSnapshots(programFolder()).take(*m_connection, command);
    } catch (const std::exception& e) {
        throw EZvError(
            trc("No copy of the database could be kept before the change, so nothing was changed: ") +
            errorText(e));
    }
    m_snapshotTaken = true;
}

bool TIoDm::CanUndoRestoreImport() const
{
    return TZvSnapshots(programFolder()).latest().has_value();
}

bool TIoDm::UndoLastRestoreImport()
{
    TIoBusyScope busy;
    const std::optional<TZvSnapshots::Entry> latest = TZvSnapshots(programFolder()).latest();
    if (!latest) {
        MsgTip(trc("There is no restore or import to undo."));
        return false;
    }
    const QString command = latest->command == QLatin1String("restore")     ? trc("restore")
                            : latest->command == QLatin1String("icalendar") ? trc("iCalendar import")
                                                                            : trc("import");
    if (MsgAsk(trc("Put the database back as it was before the last %1 (%2)? Every change made since then "
                   "is lost.")
                   .arg(command, DateTimeText(DateTimeFromQ(latest->made)))) != IdOk)
        return false;
    try {
        PutBackDatabaseCopy(*m_connection, latest->path);
    } catch (const std::exception& e) {
        MsgError(errorText(e));
        return false;
    }
    // Used up: the next undo goes back to the copy before it.
    if (!QFile::remove(latest->path))
        MsgWarning(trc("The database was put back, but its copy could not be removed: %1")
                       .arg(QDir::toNativeSeparators(latest->path)));
    return true;
}

bool TIoDm::readFile(const QString& fileName, Mode mode)
{
    TIoBusyScope busy;
    m_snapshotTaken = false;
    TZoneOffsetPin zone;
    Txmltry xml;
    try {
        xml.LoadFromFile(fileName, true);
    } catch (const std::exception&) {
        MsgError(trc("File read failure!"));
        return false;
    }

    struct DialogOwner
    {
        TReplaceAskDlg*& dialog;
        ~DialogOwner()
        {
            delete dialog;
            dialog = nullptr;
        }
    } dialogOwner{m_dialog};

    // Rows are posted in batches for speed. What was posted is committed explicitly on every
    // way out and before every question or box, so that rows posted before an error stay,
    // and a commit that fails is reported instead of passing for success.
    TZvWriteBatch batch(*m_connection, kBatchRows);
    try {
        const QString app = xml.ReadAttr(QStringLiteral("zorvik"), QStringLiteral("app"));
        if (app != kExchangeApp) throw EZvError(trc("Data mismatch: ") + app + kExchangeApp);
        takeSnapshot(mode == Mode::Restore ? QStringLiteral("restore") : QStringLiteral("import"));
        const int total = xml.ChildCount(ExchangeContainerPath<TMemoInfo>()) +
                          xml.ChildCount(ExchangeContainerPath<TTaskInfo>());
        TIoProgress progress(
            m_window, mode == Mode::Restore ? trc("Restoring the database...") : trc("Importing..."), total);
        if (mode == Mode::Restore)
            restoreItems(xml, progress, batch);
        else
            importItems(xml, progress, batch);
        batch.commit();
    } catch (const std::exception& e) {
        MsgError(stopAfter(e, batch));
        return false;
    }
    return true;
}

QString TIoDm::stopAfter(const std::exception& e, TZvWriteBatch& batch)
{
    // The unposted row is dropped; rows posted before stay, committed before the box.
    m_query->Cancel();
    QString message = errorText(e);
    try {
        batch.commit();
    } catch (const std::exception& failed) {
        message = errorText(failed); // what was posted is lost: that is what the user must know
    }
    return message;
}

QString TIoDm::errorText(const std::exception& e)
{
    const auto* error = dynamic_cast<const EZvError*>(&e);
    return error ? error->message() : QString::fromLocal8Bit(e.what());
}

bool TIoDm::restoreItems(Txmltry& xml, TIoProgress& progress, TZvWriteBatch& batch)
{
    TADOQuery& q = *m_query;
    int answer = IdYes;
    const std::function<void()> beforeBox = [&] {
        batch.commit();
        progress.suspend();
    };
    return forEachKind([&](auto record) {
        using R = decltype(record);
        using Rows = TZvRows<R>;
        const QString itemPath = ExchangeItemPath<R>();
        const int n = xml.ChildCount(ExchangeContainerPath<R>());
        for (int i = 0; i < n; ++i) {
            if (!step(progress, batch)) return false;
            TItemAttrs item(xml, itemPath + QString::number(i), beforeBox);
            const QString id = item.get(attributeOf<R>(TZvRecordKind<R>::id));
            Rows::OpenRow(q, id);
            if (q.Eof()) {
                // Not in the database: added whatever the answer.
                Rows::OpenEmpty(q);
                q.Append();
            } else {
                if (answer != IdYesToAll) {
                    TReplaceQuestion question;
                    question.caption =
                        trc("Would you like to replace the existing ") + KindText(TZvRecordKind<R>::word);
                    question.oldTitle = SingleLine(q.FieldByName(ColumnOf<R>(&R::content)).AsString());
                    question.oldTime = trc("modified: ") +
                                       DateTimeText(q.FieldByName(ColumnOf<R>(&R::editTime)).AsDateTime());
                    question.newTitle = SingleLine(item.get(attributeOf<R>(&R::content)));
                    question.newTime = trc("modified: ") +
                                       DateTimeText(ParseIsoDateTime(item.get(attributeOf<R>(&R::editTime))));
                    beforeBox();
                    answer = ask(question);
                    if (answer == IdAbort) return false;
                    if (answer != IdYes && answer != IdYesToAll)
                        continue; // No, Esc or the window frame: the row stays as it is
                }
                q.Edit();
            }
            setText(q, Rows::IdColumn(), id);
            setText(q, ColumnOf<R>(&R::pid), item.get(attributeOf<R>(&R::pid)));
            writeValues<R>(q, item);
            batch.begin();
            q.Post();
            batch.posted();
        }
        return true;
    });
}

bool TIoDm::importItems(Txmltry& xml, TIoProgress& progress, TZvWriteBatch& batch)
{
    TADOQuery& q = *m_query;
    const std::function<void()> beforeBox = [&] {
        batch.commit();
        progress.suspend();
    };
    return forEachKind([&](auto record) {
        using R = decltype(record);
        using Rows = TZvRows<R>;
        const char* idAttr = attributeOf<R>(TZvRecordKind<R>::id);
        const char* pidAttr = attributeOf<R>(&R::pid);

        // A sub-item whose parent is nowhere in the file would be stored under a parent no
        // row holds, out of every tree: it becomes a top-level item instead.
        QSet<QString> idsInFile;
        const pugi::xml_node container = xml.FindNode(ExchangeContainerPath<R>());
        for (pugi::xml_node child = container.first_child(); child; child = child.next_sibling()) {
            if (const pugi::xml_attribute id = child.attribute(idAttr))
                idsInFile.insert(QString::fromUtf8(id.value()));
        }

        QHash<QString, QString> newIds; // old id -> new id
        auto newIdFor = [&newIds](const QString& oldId) {
            auto it = newIds.find(oldId);
            if (it == newIds.end()) it = newIds.insert(oldId, NewGuidText());
            return it.value();
        };

        // Every row is new: one empty result takes all of them.
        Rows::OpenEmpty(q);
        const QString pidColumn = ColumnOf<R>(&R::pid);
        const QString itemPath = ExchangeItemPath<R>();
        const int n = xml.ChildCount(ExchangeContainerPath<R>());
        for (int i = 0; i < n; ++i) {
            if (!step(progress, batch)) return false;
            TItemAttrs item(xml, itemPath + QString::number(i), beforeBox);
            q.Append();
            const QString pid = item.get(pidAttr);
            if (pid == kRootId || !idsInFile.contains(pid)) {
                setText(q, pidColumn, kRootId);
                setText(q, Rows::IdColumn(), newIdFor(item.get(idAttr)));
            } else {
                setText(q, pidColumn, newIdFor(pid));
                setText(q, Rows::IdColumn(), NewGuidText());
            }
            writeValues<R>(q, item);
            batch.begin();
            q.Post();
            batch.posted();
        }
        return true;
    });
}

bool TIoDm::ImportICalendar()
{
    return onChosenFile(OpenICalendarDialogRequest(), &TIoDm::ImportICalendarFromFile);
}

bool TIoDm::ImportICalendarFromFile(const QString& fileName)
{
    TIoBusyScope busy;
    QFile file;
    try {
        OpenICalendarFile(file, fileName);
    } catch (const std::exception& e) {
        MsgError(errorText(e));
        return false;
    }
    return ImportICalendarFrom(file);
}

bool TIoDm::ImportICalendarFrom(QIODevice& device)
{
    TIoBusyScope busy;
    m_snapshotTaken = false;
    TZvICalImportState state;
    TZvWriteBatch batch(*m_connection, kBatchRows);
    try {
        TZvICalContext context;
        TZvICalFileReader reader(device, context);
        TIoProgress progress(m_window, trc("Importing..."), reader.scanTicks());
        // Cancelled while the file is looked through: nothing is stored.
        if (!reader.scan([&progress] { return progress.step(); })) return true;
        takeSnapshot(QStringLiteral("icalendar"));
        progress.setTotal(reader.scanTicks() + reader.itemCount());
        state.tally.skipped = reader.skipped();
        state.cancelled = !importICalItems(reader, progress, batch, state);
        batch.commit();
        if (state.cancelled) raiseOrphans(state, false);
    } catch (const std::exception& e) {
        QString message = stopAfter(e, batch);
        try {
            raiseOrphans(state, true);
        } catch (const std::exception& failed) {
            message += QLatin1Char('\n') + errorText(failed);
        }
        MsgError(message);
        return false;
    }
    MsgTip(state.cancelled ? trc("Cancelled. ") + state.tally.importedText() : state.tally.message());
    return true;
}

bool TIoDm::importICalItems(TZvICalFileReader& reader, TIoProgress& progress, TZvWriteBatch& batch,
                            TZvICalImportState& state)
{
    state.ids.assign(size_t(reader.itemCount()), QUuid());
    state.stored.assign(size_t(reader.itemCount()), false);
    // Every row is new: an empty result of each table takes them. A result keeps the rows
    // appended to it, so it is opened afresh now and then: memory stays flat however large
    // the file.
    TADOQuery& tasks = *m_query;
    TADOQuery memos(m_connection);
    int appended = 0;
    TZvICalFileReader::Item item;
    while (reader.next(item)) {
        if (!step(progress, batch)) return false;
        if (appended++ % kBatchRows == 0) {
            TZvRows<TTaskInfo>::OpenEmpty(tasks);
            TZvRows<TMemoInfo>::OpenEmpty(memos);
        }
        const QString pid = item.parent < 0 ? kRootId : state.idOf(item.parent);
        std::visit(
            [&](auto& read) {
                using R = decltype(read.record);
                TADOQuery& q = item.memo() ? memos : tasks;
                TZvRows<R>::Id(read.record) = state.idOf(item.index);
                read.record.pid = pid;
                TZvRows<R>::Append(q, read.record);
                batch.begin();
                q.Post();
                batch.posted();
                state.tally.count<R>(read.losses);
            },
            item.read);
        state.stored[size_t(item.index)] = true;
        if (item.parent >= 0 && !state.stored[size_t(item.parent)])
            state.waitedOn.emplace_back(item.parent, item.memo());
    }
    return true;
}

// A stopped import stores a prefix of the file: sub-items stored before their top-level
// item would sit under a parent no row holds, out of every tree. They become top-level
// items. After a failed commit even a posted parent may be gone, so each is checked.
void TIoDm::raiseOrphans(const TZvICalImportState& state, bool failed)
{
    std::vector<std::pair<int, bool>> parents = state.waitedOn;
    std::sort(parents.begin(), parents.end());
    parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
    TZvWriteBatch batch(*m_connection, kBatchRows);
    for (const auto& [parent, memo] : parents) {
        if (state.stored[size_t(parent)] && !failed) continue;
        const QString id = GuidText(state.ids[size_t(parent)]);
        batch.begin();
        if (memo)
            raiseChildren<TMemoInfo>(*m_query, id);
        else
            raiseChildren<TTaskInfo>(*m_query, id);
        batch.posted();
    }
    batch.commit();
}

// One more item. The progress dialog lets events through now and then (timers, the tray,
// Exit): what was posted is committed before, so nothing they do meets an open batch.
bool TIoDm::step(TIoProgress& progress, TZvWriteBatch& batch)
{
    if (progress.yieldsOnNextStep()) batch.commit();
    return progress.step();
}

} // namespace zv
