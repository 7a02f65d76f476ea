// An iCalendar file as it comes, through the reader (both passes, the two-level rule) and
// the mapping, then every item written back and read again. What must hold whatever the
// bytes: nothing crashes or leaks; each item's parent is a top-level item of the same kind;
// an item written and read again keeps every value the record holds (in UTC, where no wall
// time is skipped, so times come back to the second). A broken rule aborts.
#include "interchange/ZvICalFile.h"
#include "interchange/ZvICalendar.h"

#include <QBuffer>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void broken(const char* rule, const QString& a = {}, const QString& b = {})
{
    std::fprintf(stderr, "fuzz_icalendar: %s\n  %s\n  %s\n", rule, qPrintable(a), qPrintable(b));
    std::abort();
}

// A read item's content keeps a line break at its end that a written one cannot carry: an
// empty description is no description.
QString comparable(QString content)
{
    while (content.endsWith(QLatin1String("\r\n")))
        content.chop(2);
    return content;
}

QString describe(const zv::TTaskInfo& r)
{
    return QStringLiteral("%1|%2|%3|%4 %5|%6 %7|%8 %9|%10 %11|%12 %13")
        .arg(r.tid, r.pid, comparable(r.content))
        .arg(r.checkFlag)
        .arg(r.checkFlag ? r.checkTime : 0.0, 0, 'f', 6)
        .arg(r.dueFlag)
        .arg(r.dueFlag ? zv::CalendarDay(r.dueTime) : 0)
        .arg(r.alarmFlag)
        .arg(r.alarmTime, 0, 'f', 6)
        .arg(r.textColor)
        .arg(r.backgroundColor)
        .arg(r.createTime, 0, 'f', 6)
        .arg(r.editTime, 0, 'f', 6);
}

QString describe(const zv::TMemoInfo& r)
{
    return QStringLiteral("%1|%2|%3|%4 %5 %6")
        .arg(r.mid, r.pid, comparable(r.content))
        .arg(r.assignTime, 0, 'f', 6)
        .arg(r.createTime, 0, 'f', 6)
        .arg(r.editTime, 0, 'f', 6);
}

template <class R> void writtenAndReadAgain(const R& record, const zv::TZvICalContext& context)
{
    const QByteArray text = zv::ICalComponentText(record, context);
    zv::TZvICalComponent again(icalparser_parse_string(text.constData()));
    if (!again || icalcomponent_isa(again.get()) != zv::ICalKindOf<R>())
        broken("a written item does not parse", QString::fromUtf8(text));
    const zv::TZvICalRead<R> back = zv::ReadICalComponent<R>(again.get(), context);
    if (describe(back.record) != describe(record))
        broken("an item written and read again differs", describe(record), describe(back.record));
    if (back.losses != 0) broken("a written item loses something on reading", QString::fromUtf8(text));
}

void readAll(QByteArray& bytes, const QTimeZone& zone, bool roundTrip)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    zv::TZvICalContext context(zone, 1717243200); // 2024-06-01 12:00 UTC
    zv::TZvICalFileReader reader(buffer, context);
    try {
        if (!reader.scan()) broken("a scan without a stop request stopped");
        std::vector<int> parents(size_t(reader.itemCount()), -1);
        std::vector<bool> memo(size_t(reader.itemCount()), false);
        zv::TZvICalFileReader::Item item;
        int n = 0;
        while (reader.next(item)) {
            if (item.index != n++) broken("items out of order");
            parents[size_t(item.index)] = item.parent;
            memo[size_t(item.index)] = item.memo();
            if (!roundTrip) continue;
            std::visit([&](const auto& read) { writtenAndReadAgain(read.record, context); }, item.read);
        }
        if (n != reader.itemCount()) broken("fewer items than the scan found");
        for (size_t i = 0; i < parents.size(); ++i) {
            const int p = parents[i];
            if (p < 0) continue;
            if (size_t(p) >= parents.size() || size_t(p) == i || parents[size_t(p)] != -1 ||
                memo[size_t(p)] != memo[i])
                broken("a parent that is no top-level item of the same kind");
        }
    } catch (const zv::EZvError&) {
        // A clear refusal (not iCalendar, too many items) is a right answer.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    static const QTimeZone berlin("Europe/Berlin");
    readAll(bytes, QTimeZone::utc(), true);
    readAll(bytes, berlin, false); // a zone with changes: the conversions, without the round trip
    return 0;
}
