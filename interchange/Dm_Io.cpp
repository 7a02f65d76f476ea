#include "Dm_Io.h"

#include "Dlg_ReplaceAsk.h"
#include "ZvExchange.h"
#include "ZvICalFile.h"
#include "ZvIoBusy.h"
#include "ZvRowGateway.h"
#include "ZvSystem.h"
#include "pU_Funcs.h"
#include "pU_XmlTry.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QLabel>
#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>

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

void setText(TADOQuery& q, const char* column, const QString& text)
{
    q.FieldByName(QString::fromLatin1(column)).setAsString(text);
}

void setText(TADOQuery& q, const QString& column, const QString& text)
{
    q.FieldByName(column).setAsString(text);
}

// Everything after the ids, in the file's order, as the table's gateway lists it.
template <class R> void writeValues(TADOQuery& q, TItemAttrs& item)
{
    for (const TZvExchangeColumn& c : TZvRowGateway<R>::exchangeColumns()) {
        const QString value = item.get(c.attribute);
        if (c.time)
            setTime(q, c.column, value);
        else
            setText(q, c.column, std::strcmp(c.column, "content") == 0 ? StoredContent(value) : value);
    }
}

// What differs between the memo pass and the task pass.
struct TKind
{
    QString table;
    QString idColumn;
    const char* idAttr;
    QString containerPath;
    QString itemPath;
    QString word; // in the question's caption
    void (*writeValues)(TADOQuery&, TItemAttrs&);
};

TKind memoKind()
{
    using G = TZvRowGateway<TMemoInfo>;
    return {G::table(),
            G::idColumn(),
            "mid",
            QStringLiteral("zorvik,memos"),
            QStringLiteral("zorvik,memos,memo#"),
            trc("memo"),
            &writeValues<TMemoInfo>};
}

TKind taskKind()
{
    using G = TZvRowGateway<TTaskInfo>;
    return {G::table(),
            G::idColumn(),
            "tid",
            QStringLiteral("zorvik,tasks"),
            QStringLiteral("zorvik,tasks,task#"),
            trc("task"),
            &writeValues<TTaskInfo>};
}

// A new row of an iCalendar import: its ids, then every value of the record.
template <class R> void appendRow(TADOQuery& q, const QString& id, const QString& pid, const R& record)
{
    using G = TZvRowGateway<R>;
    q.Append();
    setText(q, G::idColumn(), id);
    setText(q, "pid", pid);
    G::writeValues(q, record);
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
    OpenQuery(q, QStringLiteral("select count(*) as cnt from tasks"));
    const int taskCount = q.FieldByName(QStringLiteral("cnt")).AsInteger();
    OpenQuery(q, QStringLiteral("select * from memos"));
    TIoProgress progress(m_window, trc("Writing the backup..."), q.RecordCount() + taskCount);

    {
        const pugi::xml_node memos = xml.FindNode(QStringLiteral("zorvik,memos"));
        for (q.First(); !q.Eof(); q.Next()) {
            if (!progress.step()) return false;
            TMemoInfo memo;
            TZvRowGateway<TMemoInfo>::read(q, memo, true);
            AppendMemoElement(memos, memo, memo.pid, suffix);
        }
    }

    OpenQuery(q, QStringLiteral("select * from tasks"));
    {
        pugi::xml_node tasks = xml.FindNode(QStringLiteral("zorvik,tasks"));
        // The ids, then the table's exchange values in file order: flags and colours straight
        // from the columns' text, times as time text.
        std::vector<const char*> textColumns{"tid", "pid"}, textAttrs{"tid", "pid"}, timeColumns, timeAttrs;
        for (const TZvExchangeColumn& c : TZvRowGateway<TTaskInfo>::exchangeColumns()) {
            (c.time ? timeColumns : textColumns).push_back(c.column);
            (c.time ? timeAttrs : textAttrs).push_back(c.attribute);
        }
        std::vector<TField> texts;
        std::vector<TField> times;
        for (const char* c : textColumns)
            texts.push_back(q.FieldByName(QString::fromLatin1(c)));
        for (const char* c : timeColumns)
            times.push_back(q.FieldByName(QString::fromLatin1(c)));
        for (q.First(); !q.Eof(); q.Next()) {
            if (!progress.step()) return false;
            pugi::xml_node node = tasks.append_child("task");
            // Straight from the columns' text: a null flag or colour becomes the empty text.
            for (size_t i = 0; i < texts.size(); ++i) {
                QString value = texts[i].AsString();
                if (i == 2) value = ExchangeContentText(value);
                const QByteArray utf8 = value.toUtf8();
                node.append_attribute(textAttrs[i]).set_value(utf8.constData(), size_t(utf8.size()));
            }
            for (size_t i = 0; i < times.size(); ++i) {
                const QByteArray utf8 = ExchangeTimeText(times[i].AsDateTime(), suffix).toUtf8();
                node.append_attribute(timeAttrs[i]).set_value(utf8.constData(), size_t(utf8.size()));
            }
        }
    }
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

bool TIoDm::readFile(const QString& fileName, Mode mode)
{
    TIoBusyScope busy;
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
        const int total =
            xml.ChildCount(QStringLiteral("zorvik,memos")) + xml.ChildCount(QStringLiteral("zorvik,tasks"));
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
    for (const TKind& kind : {memoKind(), taskKind()}) {
        const QString& table = kind.table;
        const QString lookup = QStringLiteral("select * from %1 where %2=").arg(table, kind.idColumn);
        const QString empty = QStringLiteral("select * from %1 where 0=1").arg(table);
        const int n = xml.ChildCount(kind.containerPath);
        for (int i = 0; i < n; ++i) {
            if (!step(progress, batch)) return false;
            TItemAttrs item(xml, kind.itemPath + QString::number(i), beforeBox);
            const QString id = item.get(kind.idAttr);
            OpenQuery(q, lookup + QuoteId(id));
            if (q.Eof()) {
                // Not in the database: added whatever the answer.
                OpenQuery(q, empty);
                q.Append();
            } else {
                if (answer != IdYesToAll) {
                    TReplaceQuestion question;
                    question.caption = trc("Would you like to replace the existing ") + kind.word;
                    question.oldTitle = SingleLine(q.FieldByName(QStringLiteral("content")).AsString());
                    question.oldTime = trc("modified: ") +
                                       DateTimeText(q.FieldByName(QStringLiteral("editTime")).AsDateTime());
                    question.newTitle = SingleLine(item.get("content"));
                    question.newTime =
                        trc("modified: ") + DateTimeText(ParseIsoDateTime(item.get("edit-time")));
                    beforeBox();
                    answer = ask(question);
                    if (answer == IdAbort) return false;
                    if (answer != IdYes && answer != IdYesToAll)
                        continue; // No, Esc or the window frame: the row stays as it is
                }
                q.Edit();
            }
            setText(q, kind.idColumn, id);
            setText(q, "pid", item.get("pid"));
            kind.writeValues(q, item);
            batch.begin();
            q.Post();
            batch.posted();
        }
    }
    return true;
}

bool TIoDm::importItems(Txmltry& xml, TIoProgress& progress, TZvWriteBatch& batch)
{
    TADOQuery& q = *m_query;
    const std::function<void()> beforeBox = [&] {
        batch.commit();
        progress.suspend();
    };
    for (const TKind& kind : {memoKind(), taskKind()}) {
        const QString empty = QStringLiteral("select * from %1 where 0=1").arg(kind.table);

        // A sub-item whose parent is nowhere in the file would be stored under a parent no
        // row holds, out of every tree: it becomes a top-level item instead.
        QSet<QString> idsInFile;
        const pugi::xml_node container = xml.FindNode(kind.containerPath);
        for (pugi::xml_node child = container.first_child(); child; child = child.next_sibling()) {
            if (const pugi::xml_attribute id = child.attribute(kind.idAttr))
                idsInFile.insert(QString::fromUtf8(id.value()));
        }

        QHash<QString, QString> newIds; // old id -> new id
        auto newIdFor = [&newIds](const QString& oldId) {
            auto it = newIds.find(oldId);
            if (it == newIds.end()) it = newIds.insert(oldId, NewGuidText());
            return it.value();
        };

        // Every row is new: one empty result takes all of them.
        OpenQuery(q, empty);
        const int n = xml.ChildCount(kind.containerPath);
        for (int i = 0; i < n; ++i) {
            if (!step(progress, batch)) return false;
            TItemAttrs item(xml, kind.itemPath + QString::number(i), beforeBox);
            q.Append();
            const QString pid = item.get("pid");
            if (pid == kRootId || !idsInFile.contains(pid)) {
                setText(q, "pid", kRootId);
                setText(q, kind.idColumn, newIdFor(item.get(kind.idAttr)));
            } else {
                setText(q, "pid", newIdFor(pid));
                setText(q, kind.idColumn, NewGuidText());
            }
            kind.writeValues(q, item);
            batch.begin();
            q.Post();
            batch.posted();
        }
    }
    return true;
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
    TZvICalImportState state;
    TZvWriteBatch batch(*m_connection, kBatchRows);
    try {
        TZvICalContext context;
        TZvICalFileReader reader(device, context);
        TIoProgress progress(m_window, trc("Importing..."), reader.scanTicks());
        // Cancelled while the file is looked through: nothing is stored.
        if (!reader.scan([&progress] { return progress.step(); })) return true;
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
            OpenQuery(tasks, QStringLiteral("select * from tasks where 0=1"));
            OpenQuery(memos, QStringLiteral("select * from memos where 0=1"));
        }
        const QString pid = item.parent < 0 ? kRootId : state.idOf(item.parent);
        TADOQuery& q = item.memo ? memos : tasks;
        if (item.memo)
            appendRow(q, state.idOf(item.index), pid, item.memoRead.record);
        else
            appendRow(q, state.idOf(item.index), pid, item.task.record);
        batch.begin();
        q.Post();
        batch.posted();
        state.stored[size_t(item.index)] = true;
        if (item.parent >= 0 && !state.stored[size_t(item.parent)])
            state.waitedOn.emplace_back(item.parent, item.memo);
        ++(item.memo ? state.tally.memos : state.tally.tasks);
        state.tally.countLosses(item.memo, item.memo ? item.memoRead.losses : item.task.losses);
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
        const QString& table = memo ? TZvRowGateway<TMemoInfo>::table() : TZvRowGateway<TTaskInfo>::table();
        const QString& idColumn =
            memo ? TZvRowGateway<TMemoInfo>::idColumn() : TZvRowGateway<TTaskInfo>::idColumn();
        const QString id = QuoteId(GuidText(state.ids[size_t(parent)]));
        batch.begin();
        ExecQuery(*m_query,
                  QStringLiteral("update %1 set pid=%2 where pid=%3 and not exists (select 1 from %1 "
                                 "where %4=%3)")
                      .arg(table, QuoteId(kRootId), id, idColumn));
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
