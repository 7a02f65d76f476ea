#include "interchange/ZvICalFile.h"

#include "interchange/ZvExchange.h"
#include "store/ZvDb.h"
#include "store/ZvError.h"
#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QSaveFile>
#include <algorithm>
#include <exception>
#include <tuple>

namespace zv {

namespace {

QString trc(const char* text)
{
    return QCoreApplication::translate("ZvICalFile", text);
}

// ---- Writing ----------------------------------------------------------------------------

template <class R>
bool writeCalendar(const QString& fileName, const std::vector<SelectedItem<R>>& items,
                   const QString& appVersion)
{
    try {
        RefuseDatabaseFile(fileName);
        TZvICalContext context;
        TZvICalComponent calendar = NewICalCalendar(appVersion);
        // The calendar's own lines, the items, then its end: one item at a time in memory.
        const QByteArray end = QByteArrayLiteral("END:VCALENDAR\r\n");
        QByteArray out = ICalText(calendar.get());
        out.chop(end.size());

        QSaveFile file(fileName);
        file.setDirectWriteFallback(true);
        if (!file.open(QIODevice::WriteOnly)) return false;
        bool written = true;
        const auto flush = [&](qsizetype atLeast) {
            if (out.size() < atLeast) return;
            written = written && file.write(out) == out.size();
            out.clear();
        };
        ForEachWritten(items, [&](const R& record, bool topLevel) {
            if (topLevel && record.pid != kRootId) {
                R alone = record;
                alone.pid = kRootId;
                out += ICalText(NewICalComponent(alone, context).get());
            } else {
                out += ICalText(NewICalComponent(record, context).get());
            }
            flush(1 << 20);
        });
        out += end;
        flush(0);
        return written && file.flush() && file.commit();
    } catch (const std::exception&) {
        return false;
    }
}

// ---- Reading: lines -----------------------------------------------------------------------

// What a line of a calendar says about its place: its name in upper case, and for BEGIN
// and END the name of the component.
// (Read as the library reads them: a name as it stands, a value without blanks around it.)
QByteArray nameOf(const QByteArray& line, qsizetype& valueAt)
{
    qsizetype i = 0;
    while (i < line.size() && line[i] != ':' && line[i] != ';')
        ++i;
    valueAt = line.indexOf(':', i);
    return line.left(i).toUpper();
}

QByteArray withoutOuterBlanks(const QByteArray& text)
{
    qsizetype from = 0, to = text.size();
    while (from < to && (text[from] == ' ' || text[from] == '\t'))
        ++from;
    while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t'))
        --to;
    return text.mid(from, to - from);
}

// The component a BEGIN or END line names.
QByteArray componentOf(const QByteArray& line, qsizetype valueAt)
{
    return withoutOuterBlanks(line.mid(valueAt + 1)).toUpper();
}

// The value of a property line (after the first colon outside a quoted parameter value),
// with TEXT escapes undone so that a UID and a RELATED-TO naming it compare equal; and
// whether a RELTYPE parameter names a relation other than PARENT.
QByteArray valueOf(const QByteArray& line, bool* otherRelation = nullptr)
{
    if (otherRelation) *otherRelation = false;
    QByteArray parameter;
    bool quoted = false;
    qsizetype start = line.size();
    const auto endParameter = [&] {
        const qsizetype equals = parameter.indexOf('=');
        if (otherRelation && equals > 0 && parameter.left(equals).trimmed().toUpper() == "RELTYPE")
            *otherRelation = parameter.mid(equals + 1).replace('"', "").trimmed().toUpper() != "PARENT";
        parameter.clear();
    };
    bool inParameter = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char ch = line[i];
        if (ch == '"') quoted = !quoted;
        if (!quoted && (ch == ';' || ch == ':')) {
            if (inParameter) endParameter();
            inParameter = ch == ';';
            if (ch == ':') {
                start = i + 1;
                break;
            }
            continue;
        }
        if (inParameter) parameter += ch;
    }
    const QByteArray raw = withoutOuterBlanks(line.mid(start));
    QByteArray value;
    value.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        char ch = raw[i];
        if (ch == '\\' && i + 1 < raw.size()) {
            ch = raw[++i];
            if (ch == 'n' || ch == 'N') ch = '\n';
        }
        value += ch;
    }
    return value;
}

QString tooLargeText()
{
    return trc("The file is larger than 256 MB, more than the program imports.");
}

QString notICalendarText()
{
    return trc("The file is not an iCalendar file.");
}

// The component of a record kind, as a calendar's line names it.
template <class R> bool isKind(const QByteArray& name)
{
    return name == TZvRecordKind<R>::icalComponent;
}

// A task or a memo.
bool isItem(const QByteArray& name)
{
    return isKind<TTaskInfo>(name) || isKind<TMemoInfo>(name);
}

// One top-level entry of a calendar (a component directly inside VCALENDAR).
struct TScanned
{
    QByteArray name;
    QByteArray text; // its lines, when collected
    QByteArray uid;
    QByteArray parent;
    qint64 bytes = 0;
    bool collect = false;
    bool hasUid = false;
    bool hasParent = false;
    bool occurrence = false; // RECURRENCE-ID: a changed occurrence of a repeating item
    bool damaged = false;    // unterminated, ends crossed, or nested too deep
    bool longLine = false;   // a line over the limit was left out

    bool item() const { return isItem(name); }
    bool oversized() const { return bytes > TZvICalLimits::kItemBytes; }
};

std::optional<TZvICalSkip> skipOf(const TScanned& e)
{
    if (e.name == "VEVENT") return TZvICalSkip::Events;
    if (e.name == "VFREEBUSY") return TZvICalSkip::FreeBusy;
    if (!e.item()) return TZvICalSkip::OtherEntries;
    if (e.damaged) return TZvICalSkip::Damaged;
    if (e.oversized()) return TZvICalSkip::Oversized;
    if (e.occurrence) return TZvICalSkip::Occurrences;
    return std::nullopt;
}

} // namespace

// ---- Reading: the scanner ----------------------------------------------------------------

// Reads the device from its start in chunks, unfolds lines and hands out the top-level
// entries one at a time; the text of an entry is gathered only when asked for.
class TZvICalFileReader::TScanner
{
public:
    explicit TScanner(QIODevice& device) : m_device(device)
    {
        // Chunks of 1 MiB, or the whole of a smaller file.
        m_buffer.resize(qsizetype(std::clamp<qint64>(device.size() + 1, 4096, 1 << 20)));
    }

    void restart(std::function<bool(const QByteArray&)> collect, std::function<bool()> tick)
    {
        if (!m_device.seek(0)) throw EZvError(trc("File read failure!"));
        m_collect = std::move(collect);
        m_tick = std::move(tick);
        m_pos = m_length = 0;
        m_total = 0;
        m_eof = m_afterCr = m_havePending = m_stopped = m_started = false;
        m_names.clear();
        m_tooDeep = 0;
        m_current = TScanned();
    }
    bool stopped() const { return m_stopped; }

    bool next(TScanned& entry)
    {
        QByteArray line;
        bool tooLong = false;
        while (readLogical(line, tooLong)) {
            if (m_stopped) return false;
            const bool inItem = m_names.size() >= 2;
            if (tooLong) {
                if (!m_started) throw EZvError(notICalendarText());
                if (inItem) m_current.longLine = true;
                continue;
            }
            if (line.contains('\0')) line.replace(QByteArrayView("\0", 1), QByteArrayView());
            if (line.isEmpty()) continue;
            if (!m_started) start(line);
            qsizetype valueAt = -1;
            const QByteArray name = nameOf(line, valueAt);
            if (name == "BEGIN") {
                begin(componentOf(line, valueAt), line);
            } else if (name == "END") {
                if (end(componentOf(line, valueAt), line)) {
                    entry = std::move(m_current);
                    m_current = TScanned();
                    return true;
                }
            } else if (inItem) {
                property(name, line);
            }
        }
        if (m_stopped) return false;
        if (!m_started) throw EZvError(notICalendarText());
        if (m_names.size() >= 2) {
            // The file ends inside an entry.
            m_names.clear();
            m_current.damaged = true;
            entry = std::move(m_current);
            m_current = TScanned();
            return true;
        }
        return false;
    }

private:
    // The first line of the file, without a byte-order mark, must open a calendar.
    void start(QByteArray& line)
    {
        m_started = true;
        if (line.startsWith("\xEF\xBB\xBF")) line.remove(0, 3);
        qsizetype valueAt = -1;
        if (nameOf(line, valueAt) != "BEGIN" || valueAt < 0 || componentOf(line, valueAt) != "VCALENDAR")
            throw EZvError(notICalendarText());
    }

    void append(const QByteArray& line)
    {
        m_current.bytes += line.size() + 2;
        if (!m_current.collect) return;
        if (m_current.oversized()) {
            m_current.text = QByteArray(); // and its memory
            return;
        }
        m_current.text += line;
        m_current.text += "\r\n";
    }

    void begin(const QByteArray& component, const QByteArray& line)
    {
        if (m_names.empty()) {
            // Entries outside a calendar after the first one are read as if inside one.
            m_names.push_back(QByteArrayLiteral("VCALENDAR"));
            if (component == "VCALENDAR") return;
        }
        if (m_names.size() == 1) {
            m_current = TScanned();
            m_current.name = component;
            m_current.collect = m_collect(component);
        } else if (m_tooDeep > 0 || int(m_names.size()) >= TZvICalLimits::kDepth) {
            ++m_tooDeep;
            m_current.damaged = true;
            append(line);
            return;
        }
        m_names.push_back(component);
        append(line);
    }

    // True when it ends a top-level entry.
    bool end(const QByteArray& component, const QByteArray& line)
    {
        if (m_tooDeep > 0) {
            --m_tooDeep;
            append(line);
            return false;
        }
        qsizetype open = qsizetype(m_names.size()) - 1;
        while (open >= 0 && m_names[size_t(open)] != component)
            --open;
        if (open < 0) {
            // The end of nothing open.
            if (m_names.size() >= 2) {
                m_current.damaged = true;
                append(line);
            }
            return false;
        }
        const bool wasInItem = m_names.size() >= 2;
        if (open != qsizetype(m_names.size()) - 1 && wasInItem) m_current.damaged = true; // ends crossed
        if (wasInItem && open >= 1) append(line);
        m_names.resize(size_t(open));
        return wasInItem && m_names.size() <= 1;
    }

    void property(const QByteArray& name, const QByteArray& line)
    {
        append(line);
        if (m_names.size() != 2) return; // a line of an alarm or another inner part
        if (name == "UID" && !m_current.hasUid) {
            m_current.uid = valueOf(line);
            m_current.hasUid = true;
        } else if (name == "RELATED-TO" && !m_current.hasParent) {
            bool other = false;
            const QByteArray value = valueOf(line, &other);
            if (!other && !value.isEmpty()) {
                m_current.parent = value;
                m_current.hasParent = true;
            }
        } else if (name == "RECURRENCE-ID") {
            m_current.occurrence = true;
        }
    }

    bool fill()
    {
        if (m_eof) return false;
        const qint64 n = m_device.read(m_buffer.data(), m_buffer.size());
        if (n < 0) throw EZvError(trc("File read failure!"));
        if (n == 0) {
            m_eof = true;
            return false;
        }
        const qint64 before = m_total;
        m_total += n;
        if (m_total > TZvICalLimits::kFileBytes) throw EZvError(tooLargeText());
        m_pos = 0;
        m_length = qsizetype(n);
        if (m_tick) {
            // Not asked again once it said stop: one chunk spans several ticks.
            for (qint64 k = before / kTickBytes; k < m_total / kTickBytes && !m_stopped; ++k)
                if (!m_tick()) m_stopped = true;
        }
        return true;
    }

    // One line as it is in the file, without its end (CR LF, LF or CR). A line over the
    // limit keeps only its first character, with `tooLong` set.
    bool readPhysical(QByteArray& line, bool& tooLong)
    {
        line.clear();
        tooLong = false;
        bool any = false;
        for (;;) {
            if (m_pos == m_length && !fill()) return any;
            if (m_afterCr) {
                m_afterCr = false;
                if (m_buffer[m_pos] == '\n') {
                    ++m_pos;
                    continue;
                }
            }
            any = true;
            const char* begin = m_buffer.constData() + m_pos;
            const char* stop = m_buffer.constData() + m_length;
            const char* p = begin;
            while (p < stop && *p != '\n' && *p != '\r')
                ++p;
            const qsizetype n = p - begin;
            if (!tooLong) {
                if (line.size() + n > TZvICalLimits::kLineBytes) {
                    tooLong = true;
                    if (line.isEmpty()) line.append(begin, 1);
                    line.truncate(1);
                } else {
                    line.append(begin, n);
                }
            }
            m_pos += n;
            if (p < stop) {
                m_afterCr = *p == '\r';
                ++m_pos;
                return true;
            }
        }
    }

    // One line with its continuations (lines that start with a blank or a tab) unfolded.
    bool readLogical(QByteArray& line, bool& tooLong)
    {
        if (!m_havePending && !readPhysical(m_pending, m_pendingLong)) return false;
        m_havePending = false;
        std::swap(line, m_pending);
        tooLong = m_pendingLong;
        QByteArray& next = m_pending;
        bool nextLong = false;
        while (readPhysical(next, nextLong)) {
            if (next.isEmpty() || (next[0] != ' ' && next[0] != '\t')) {
                m_pendingLong = nextLong;
                m_havePending = true;
                return true;
            }
            if (nextLong) tooLong = true;
            if (!tooLong && line.size() + next.size() - 1 > TZvICalLimits::kLineBytes) tooLong = true;
            if (tooLong)
                line.truncate(1);
            else
                line.append(next.constData() + 1, next.size() - 1);
        }
        return true;
    }

public:
    static constexpr qint64 kTickBytes = 64 * 1024;

private:
    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qsizetype m_length = 0;
    qint64 m_total = 0;
    bool m_eof = false;
    bool m_afterCr = false;
    QByteArray m_pending;
    bool m_pendingLong = false;
    bool m_havePending = false;
    bool m_started = false;
    bool m_stopped = false;
    std::vector<QByteArray> m_names; // the open components, VCALENDAR first
    int m_tooDeep = 0;               // open components beyond the limit
    TScanned m_current;
    std::function<bool(const QByteArray&)> m_collect;
    std::function<bool()> m_tick;
};

// ---- Reading: the two passes ---------------------------------------------------------------

struct TZvICalFileReader::TEntry
{
    quint64 uid = 0; // hashes: the scan keeps no text of an item
    quint64 parentUid = 0;
    int parent = -1;
    bool memo = false;
    bool hasUid = false;
    bool hasParent = false;
};

TZvICalFileReader::TZvICalFileReader(QIODevice& device, TZvICalContext& context)
    : m_device(device), m_context(context), m_scanner(std::make_unique<TScanner>(device)),
      m_seed(QRandomGenerator::global()->generate64())
{}

TZvICalFileReader::~TZvICalFileReader() = default;

int TZvICalFileReader::scanTicks() const
{
    return int(std::min<qint64>(m_device.size(), TZvICalLimits::kFileBytes) / TScanner::kTickBytes) + 1;
}

int TZvICalFileReader::itemCount() const
{
    return int(m_entries.size());
}

const std::array<qint64, kICalSkipKinds>& TZvICalFileReader::skipped() const
{
    return m_skipped;
}

bool TZvICalFileReader::scan(const std::function<bool()>& tick)
{
    m_entries.clear();
    m_skipped.fill(0);
    m_scanner->restart([](const QByteArray& name) { return name == "VTIMEZONE"; }, tick);
    TScanned e;
    while (m_scanner->next(e)) {
        if (e.name == "VTIMEZONE") {
            if (!e.damaged && !e.oversized() && !e.text.isEmpty())
                m_context.addTimeZone(icalparser_parse_string(e.text.constData()));
            continue;
        }
        if (const std::optional<TZvICalSkip> skip = skipOf(e)) {
            ++m_skipped[size_t(*skip)];
            continue;
        }
        if (int(m_entries.size()) >= TZvICalLimits::kItems)
            throw EZvError(trc("The file holds more than 1,000,000 tasks and memos, more than the program "
                               "imports at once."));
        TEntry entry;
        entry.memo = isKind<TMemoInfo>(e.name);
        entry.hasUid = e.hasUid;
        entry.uid = qHash(QByteArrayView(e.uid), size_t(m_seed));
        entry.hasParent = e.hasParent;
        entry.parentUid = qHash(QByteArrayView(e.parent), size_t(m_seed));
        m_entries.push_back(entry);
    }
    if (m_scanner->stopped()) return false;
    resolveFamilies();
    m_scanner->restart(isItem, {});
    m_next = 0;
    return true;
}

// Each item's top-level item: a parent's own parent is followed up to an item without one;
// a parent missing from the file (or of the other kind) makes an item top level; a cycle
// is broken at the first item met twice, which becomes top level.
void TZvICalFileReader::resolveFamilies()
{
    const int n = int(m_entries.size());
    std::vector<std::tuple<bool, quint64, int>> byUid;
    for (int i = 0; i < n; ++i)
        if (m_entries[size_t(i)].hasUid)
            byUid.emplace_back(m_entries[size_t(i)].memo, m_entries[size_t(i)].uid, i);
    std::sort(byUid.begin(), byUid.end());

    std::vector<int> parentOf(size_t(n), -1);
    for (int i = 0; i < n; ++i) {
        const TEntry& e = m_entries[size_t(i)];
        if (!e.hasParent) continue;
        // The first item of that UID in the file.
        const auto at =
            std::lower_bound(byUid.begin(), byUid.end(), std::make_tuple(e.memo, e.parentUid, -1));
        if (at != byUid.end() && std::get<0>(*at) == e.memo && std::get<1>(*at) == e.parentUid &&
            std::get<2>(*at) != i)
            parentOf[size_t(i)] = std::get<2>(*at);
    }

    constexpr int unknown = -2;
    std::vector<int> top(size_t(n), unknown);
    std::vector<int> seenIn(size_t(n), -1);
    std::vector<int> path;
    for (int i = 0; i < n; ++i) {
        path.clear();
        int j = i;
        while (top[size_t(j)] == unknown && seenIn[size_t(j)] != i) {
            seenIn[size_t(j)] = i;
            path.push_back(j);
            if (parentOf[size_t(j)] < 0) break;
            j = parentOf[size_t(j)];
        }
        if (top[size_t(j)] == unknown) top[size_t(j)] = j; // no parent, or met twice: top level
        for (auto it = path.rbegin(); it != path.rend(); ++it)
            if (top[size_t(*it)] == unknown) top[size_t(*it)] = top[size_t(parentOf[size_t(*it)])];
    }
    for (int i = 0; i < n; ++i)
        m_entries[size_t(i)].parent = top[size_t(i)] == i ? -1 : top[size_t(i)];
}

// One item of kind R: its text through the library, then the mapping.
template <class R>
void TZvICalFileReader::readItem(const QByteArray& text, const QByteArray& uid, quint32 losses, Item& item)
{
    TZvICalComponent c(icalparser_parse_string(text.constData()));
    if (!c || icalcomponent_isa(c.get()) != ICalKindOf<R>()) {
        // Whole to the line reader, yet not to the library: an item without values.
        c.reset(icalcomponent_new(ICalKindOf<R>()));
        icalcomponent_add_property(c.get(), icalproperty_new_uid(uid.constData()));
        losses |= LossUnreadable;
    }
    TZvICalRead<R> read = ReadICalComponent<R>(c.get(), m_context);
    read.losses |= losses;
    item.read = std::move(read);
}

bool TZvICalFileReader::next(Item& item)
{
    const QString changed = trc("The file changed while it was being imported.");
    TScanned e;
    while (m_scanner->next(e)) {
        if (skipOf(e)) continue;
        if (m_next >= int(m_entries.size())) throw EZvError(changed);
        const TEntry& entry = m_entries[size_t(m_next)];
        if (entry.memo != isKind<TMemoInfo>(e.name) || entry.hasUid != e.hasUid ||
            entry.uid != qHash(QByteArrayView(e.uid), size_t(m_seed)))
            throw EZvError(changed);

        item.index = m_next;
        item.parent = entry.parent;
        const quint32 losses = e.longLine ? quint32(LossOversized) : 0u;
        if (entry.memo)
            readItem<TMemoInfo>(e.text, e.uid, losses, item);
        else
            readItem<TTaskInfo>(e.text, e.uid, losses, item);
        ++m_next;
        return true;
    }
    if (m_next != int(m_entries.size())) throw EZvError(changed);
    return false;
}

void OpenICalendarFile(QFile& file, const QString& fileName)
{
    RefuseDatabaseFile(fileName);
    const QFileInfo info(fileName);
    // Only a plain file: a device or a pipe would never end.
    if (!info.isFile()) throw EZvError(trc("File read failure!"));
    if (info.size() > TZvICalLimits::kFileBytes) throw EZvError(tooLargeText());
    file.setFileName(fileName);
    if (!file.open(QIODevice::ReadOnly)) throw EZvError(trc("File read failure!"));
}

// ---- Tally ------------------------------------------------------------------------------

template <class R> void TZvICalTally::count(quint32 losses)
{
    constexpr bool memo = std::is_same_v<R, TMemoInfo>;
    ++(memo ? memos : tasks);
    std::array<int, kICalLossKinds>& counts = memo ? memoLosses : taskLosses;
    for (int k = 0; k < kICalLossKinds; ++k)
        if (losses & (1u << k)) ++counts[size_t(k)];
}

template void TZvICalTally::count<TTaskInfo>(quint32);
template void TZvICalTally::count<TMemoInfo>(quint32);

namespace {

QString countText(qint64 n, const char* one, const char* many)
{
    return n == 1 ? trc(one) : trc(many).arg(n);
}

// "1 task", "3 memos".
template <class R> QString itemsText(qint64 n)
{
    return n == 1 ? KindText(TZvRecordKind<R>::oneItem) : KindText(TZvRecordKind<R>::items).arg(n);
}

} // namespace

QString TZvICalTally::importedText() const
{
    return trc("Imported %1 and %2.").arg(itemsText<TTaskInfo>(tasks), itemsText<TMemoInfo>(memos));
}

QString TZvICalTally::message() const
{
    const auto count = countText;
    const auto items = [&](qint64 taskCount, qint64 memoCount) {
        QStringList parts;
        if (taskCount) parts << itemsText<TTaskInfo>(taskCount);
        if (memoCount) parts << itemsText<TMemoInfo>(memoCount);
        return parts.join(trc(" and "));
    };
    const QString text = importedText();

    static const char* const skipNames[kICalSkipKinds][2] = {
        {"1 event", "%1 events"},
        {"1 free/busy entry", "%1 free/busy entries"},
        {"1 other entry", "%1 other entries"},
        {"1 changed occurrence of a repeating item", "%1 changed occurrences of repeating items"},
        {"1 damaged item", "%1 damaged items"},
        {"1 item over 16 MB", "%1 items over 16 MB"},
    };
    static const char* const lossNames[kICalLossKinds] = {
        "repeat rule",       "categories",    "priority",          "attachments",      "start date",
        "further reminders", "other details", "unreadable values", "values over 1 MB",
    };
    QStringList notImported;
    for (int k = 0; k < kICalSkipKinds; ++k)
        if (skipped[size_t(k)]) notImported << count(skipped[size_t(k)], skipNames[k][0], skipNames[k][1]);
    QStringList parts;
    if (!notImported.isEmpty()) parts << trc("not imported: %1").arg(notImported.join(QStringLiteral(", ")));
    for (int k = 0; k < kICalLossKinds; ++k)
        if (taskLosses[size_t(k)] || memoLosses[size_t(k)])
            parts << trc("kept without %1: %2")
                         .arg(trc(lossNames[k]), items(taskLosses[size_t(k)], memoLosses[size_t(k)]));
    if (parts.isEmpty()) return text;
    QString rest = parts.join(QStringLiteral("; "));
    rest[0] = rest[0].toUpper();
    return text + QLatin1Char(' ') + rest + QLatin1Char('.');
}

// ---- Export -----------------------------------------------------------------------------

template <class R>
bool WriteICalendarSelection(const QString& fileName, const std::vector<SelectedItem<R>>& items,
                             const QString& appVersion)
{
    if (writeCalendar(fileName, items, appVersion)) return true;
    MsgError(ExchangeWriteFailureText());
    return false;
}

template <class R>
bool ExportICalendarSelection(QWidget* parent, const std::vector<SelectedItem<R>>& items,
                              const QString& appVersion)
{
    return ExportSelection(parent, items, appVersion, SaveICalendarDialogRequest(),
                           &WriteICalendarSelection<R>);
}

#define ZV_ICALFILE_FOR(R)                                                                                   \
    template bool WriteICalendarSelection<R>(const QString&, const std::vector<SelectedItem<R>>&,            \
                                             const QString&);                                                \
    template bool ExportICalendarSelection<R>(QWidget*, const std::vector<SelectedItem<R>>&, const QString&);
ZV_ICALFILE_FOR(TTaskInfo)
ZV_ICALFILE_FOR(TMemoInfo)
#undef ZV_ICALFILE_FOR

namespace {

FileDialogRequest iCalendarDialogRequest(FileDialogRequest::Mode mode)
{
    return OneFilterDialogRequest(mode, trc("iCalendar file (*.ics)"), QStringLiteral("ics"));
}

} // namespace

FileDialogRequest SaveICalendarDialogRequest()
{
    return iCalendarDialogRequest(FileDialogRequest::Mode::Save);
}

FileDialogRequest OpenICalendarDialogRequest()
{
    return iCalendarDialogRequest(FileDialogRequest::Mode::Open);
}

} // namespace zv
