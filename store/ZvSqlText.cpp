#include "store/ZvSqlText.h"

namespace zv {

QString ParameterizeSql(const QString& sql, QStringList* literals)
{
    const qsizetype first = sql.indexOf(QLatin1Char('\''));
    if (first < 0) return sql;
    const qsizetype had = literals->size();
    QString out;
    out.reserve(sql.size());
    qsizetype from = 0;
    qsizetype i = first;
    const qsizetype n = sql.size();
    while (i >= 0) {
        out.append(QStringView(sql).mid(from, i - from));
        QString value;
        qsizetype j = i + 1;
        for (;;) {
            const qsizetype q = sql.indexOf(QLatin1Char('\''), j);
            if (q < 0) { // a broken literal is left to the parser, which reports it
                literals->resize(had);
                return sql;
            }
            value.append(QStringView(sql).mid(j, q - j));
            if (q + 1 < n && sql.at(q + 1) == QLatin1Char('\'')) {
                value.append(QLatin1Char('\''));
                j = q + 2;
                continue;
            }
            j = q + 1;
            break;
        }
        literals->append(value);
        out.append(QLatin1Char('?'));
        from = j;
        i = sql.indexOf(QLatin1Char('\''), j);
    }
    out.append(QStringView(sql).mid(from));
    return out;
}

QString StarSelectTable(const QString& sql, qsizetype* tableStart)
{
    qsizetype i = 0;
    const qsizetype n = sql.size();
    auto skipBlanks = [&] {
        while (i < n && sql.at(i).isSpace())
            ++i;
    };
    auto word = [&](QLatin1StringView w) {
        if (sql.mid(i, w.size()).compare(w, Qt::CaseInsensitive) != 0) return false;
        i += w.size();
        return true;
    };
    skipBlanks();
    if (!word(QLatin1StringView("select")) || i >= n || !sql.at(i).isSpace()) return {};
    skipBlanks();
    if (i >= n || sql.at(i) != QLatin1Char('*')) return {};
    ++i;
    skipBlanks();
    if (!word(QLatin1StringView("from")) || i >= n || !sql.at(i).isSpace()) return {};
    skipBlanks();
    const qsizetype start = i;
    while (i < n && (sql.at(i).isLetterOrNumber() || sql.at(i) == QLatin1Char('_')))
        ++i;
    if (i == start || sql.at(start).isDigit()) return {};
    *tableStart = start;
    return sql.mid(start, i - start);
}

} // namespace zv
