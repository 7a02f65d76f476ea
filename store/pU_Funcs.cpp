#include "store/pU_Funcs.h"

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>
#include <QUuid>
#include <cmath>
#include <cstdlib>

namespace zv {

void OpenQuery(TADOQuery& query, const QString& sql)
{
    query.Close();
    query.SQLClear();
    query.SQLAdd(sql);
    query.Open();
}

void ExecQuery(TADOQuery& query, const QString& sql)
{
    query.Close();
    query.SQLClear();
    query.SQLAdd(sql);
    query.ExecSQL();
}

QString QuoteId(const QString& id)
{
    QString inner = id;
    inner.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

static int plainBox(const QString& caption, const QString& text, MsgButtons buttons)
{
    MessageRequest r;
    r.caption = caption;
    r.text = text;
    r.icon = MsgIcon::None;
    r.buttons = buttons;
    return MessageSeam::show(r);
}

int MsgAsk(const QString& text)
{
    return plainBox(QCoreApplication::translate("pU_Funcs", "Ask"), text, MsgButtons::OkCancel) == IdOk
               ? IdOk
               : IdCancel;
}

void MsgError(const QString& text)
{
    plainBox(QCoreApplication::translate("pU_Funcs", "Error"), text, MsgButtons::Ok);
}

void MsgWarning(const QString& text)
{
    plainBox(QCoreApplication::translate("pU_Funcs", "Warning"), text, MsgButtons::Ok);
}

void MsgTip(const QString& text)
{
    plainBox(QCoreApplication::translate("pU_Funcs", "Tip"), text, MsgButtons::Ok);
}

QString AppErrorText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
    return message;
}

void ShowAppError(const QString& message)
{
    MessageRequest r;
    r.caption = kAppTitle;
    r.text = AppErrorText(message);
    r.icon = MsgIcon::Error;
    r.buttons = MsgButtons::Ok;
    MessageSeam::show(r);
}

QString SingleLine(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return s;
}

QString LfLineBreaks(const QString& text)
{
    QString s = text;
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QString CrLfLineBreaks(const QString& text)
{
    return LfLineBreaks(text).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

int CurrentUtcBias()
{
    if (const auto bias = Clock::utcBiasOverride()) return *bias;
    return -Clock::now().offsetFromUtc() / 60;
}

QString IsoDateTimeText(TDateTime value)
{
    const QDateTime dt = QFromDateTime(value);
    const QDate d = dt.date();
    const QTime t = dt.time();
    QString text = QStringLiteral("%1-%2-%3T%4:%5:%6.000")
                       .arg(d.year(), 4, 10, QLatin1Char('0'))
                       .arg(d.month(), 2, 10, QLatin1Char('0'))
                       .arg(d.day(), 2, 10, QLatin1Char('0'))
                       .arg(t.hour(), 2, 10, QLatin1Char('0'))
                       .arg(t.minute(), 2, 10, QLatin1Char('0'))
                       .arg(t.second(), 2, 10, QLatin1Char('0'));
    const int bias = CurrentUtcBias();
    if (bias == 0) return text + QLatin1Char('Z');
    const int a = std::abs(bias);
    return text + QStringLiteral("%1%2:%3")
                      .arg(bias < 0 ? QLatin1Char('+') : QLatin1Char('-'))
                      .arg(a / 60, 2, 10, QLatin1Char('0'))
                      .arg(a % 60, 2, 10, QLatin1Char('0'));
}

namespace {
// Reads exactly `count` ASCII digits at pos (count 0: one or more); false when not there.
bool readDigits(QStringView s, qsizetype& pos, int count, int* value, int* read = nullptr)
{
    qsizetype end = pos;
    while (end < s.size() && s[end] >= QLatin1Char('0') && s[end] <= QLatin1Char('9') &&
           (count == 0 || end - pos < count))
        ++end;
    const qsizetype n = end - pos;
    if (n == 0 || (count > 0 && n != count) || n > 9) return false;
    int v = 0;
    for (qsizetype i = pos; i < end; ++i)
        v = v * 10 + (s[i].unicode() - '0');
    *value = v;
    if (read) *read = int(n);
    pos = end;
    return true;
}

bool expect(QStringView s, qsizetype& pos, QChar c)
{
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}
} // namespace

TDateTime ParseIsoDateTime(const QString& text)
{
    const auto dateError = [&] {
        return EZvError(QCoreApplication::translate("pU_Funcs", "Invalid date string: %1").arg(text));
    };
    const auto timeError = [&] {
        return EZvError(QCoreApplication::translate("pU_Funcs", "Invalid time string: %1").arg(text));
    };

    const QStringView trimmed = QStringView(text).trimmed();
    const qsizetype tPos = trimmed.indexOf(QLatin1Char('T'));
    const QStringView datePart = tPos < 0 ? trimmed : trimmed.left(tPos);
    const QStringView timePart = tPos < 0 ? QStringView() : trimmed.mid(tPos + 1);

    // yyyy-mm-dd (four or more year digits)
    qsizetype p = 0;
    int year = 0, month = 0, day = 0, yearDigits = 0;
    if (!readDigits(datePart, p, 0, &year, &yearDigits) || yearDigits < 4 ||
        !expect(datePart, p, QLatin1Char('-')) || !readDigits(datePart, p, 2, &month) ||
        !expect(datePart, p, QLatin1Char('-')) || !readDigits(datePart, p, 2, &day) || p != datePart.size())
        throw dateError();
    const QDate date(year, month, day);
    if (!date.isValid()) throw dateError();

    // A date without its time of day is no time text of ours: refused, not read as midnight.
    if (tPos < 0) throw timeError();
    QTime time(0, 0);
    int writtenOffset = 0; // minutes east of UTC
    {
        // hh:nn:ss, an optional fraction, an optional zone
        p = 0;
        int h = 0, m = 0, sec = 0;
        if (!readDigits(timePart, p, 2, &h) || !expect(timePart, p, QLatin1Char(':')) ||
            !readDigits(timePart, p, 2, &m) || !expect(timePart, p, QLatin1Char(':')) ||
            !readDigits(timePart, p, 2, &sec))
            throw timeError();
        int ms = 0;
        if (p < timePart.size() && timePart[p] == QLatin1Char('.')) {
            ++p;
            const qsizetype start = p;
            while (p < timePart.size() && timePart[p] >= QLatin1Char('0') && timePart[p] <= QLatin1Char('9'))
                ++p;
            if (p == start) throw timeError();
            for (qsizetype i = start; i < start + 3; ++i)
                ms = ms * 10 + (i < p ? timePart[i].unicode() - '0' : 0);
        }
        time = QTime(h, m, sec, ms);
        if (!time.isValid()) throw timeError();
        if (p < timePart.size()) {
            const QChar sign = timePart[p];
            if (sign == QLatin1Char('Z') && p + 1 == timePart.size()) {
                p = timePart.size();
            } else if (sign == QLatin1Char('+') || sign == QLatin1Char('-')) {
                ++p;
                int zh = 0, zm = 0;
                if (!readDigits(timePart, p, 2, &zh) || !expect(timePart, p, QLatin1Char(':')) ||
                    !readDigits(timePart, p, 2, &zm) || p != timePart.size() || zh > 14 || zm > 59)
                    throw timeError();
                writtenOffset = (sign == QLatin1Char('-') ? -1 : 1) * (zh * 60 + zm);
            } else {
                throw timeError();
            }
        }
    }
    // From the written offset to the reader's offset now, as plain arithmetic on the
    // value (the zero date must stay a time near 1899-12-30, not a historic zone's).
    const int readerOffset = -CurrentUtcBias();
    const TDateTime written = EncodeDateTime(date, time);
    return AddMilliseconds(written, qint64(readerOffset - writtenOffset) * 60000);
}

QString NewGuidText()
{
    return QUuid::createUuid().toString(QUuid::WithBraces).toUpper();
}

TDateTime Now()
{
    return DateTimeFromQ(Clock::now());
}

QString TrimRight(const QString& text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1).unicode() <= 0x20)
        --n;
    return text.left(n);
}

QString CrLfLines(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 16);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
            out += QLatin1String("\r\n");
        } else if (c == QLatin1Char('\n') || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            out += QLatin1String("\r\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString TrimBoth(const QString& text)
{
    qsizetype start = 0;
    while (start < text.size() && text.at(start).unicode() <= 0x20)
        ++start;
    return TrimRight(text.mid(start));
}

static QString longTimeFormat()
{
    QString f = QLocale::system().timeFormat(QLocale::LongFormat);
    // No zone name: strip "t" markers and the blanks around them.
    f.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
    return f.trimmed();
}

QString DateText(TDateTime value)
{
    return QLocale::system().toString(DateOf(value), QLocale::ShortFormat);
}

QString DateTimeText(TDateTime value)
{
    const QDateTime dt = QFromDateTime(value);
    const QString date = QLocale::system().toString(dt.date(), QLocale::ShortFormat);
    if (dt.time() == QTime(0, 0)) return date;
    return date + QLatin1Char(' ') + QLocale::system().toString(dt.time(), longTimeFormat());
}

} // namespace zv
