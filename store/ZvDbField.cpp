#include "store/ZvDbField.h"

#include "store/ZvDbQuery.h"
#include "store/ZvError.h"
#include "store/ZvSqliteDetail.h"
#include "store/pU_Funcs.h"

namespace zv {

using namespace detail;

FieldType TField::type() const
{
    return m_query->m_columns[size_t(m_column)].type;
}

QString TField::name() const
{
    return m_query->m_columns[size_t(m_column)].name;
}

bool TField::IsNull() const
{
    const QVariant v = m_query->value(m_column);
    return !v.isValid() || v.isNull();
}

QString TField::AsString() const
{
    const QVariant v = m_query->value(m_column);
    if (!v.isValid() || v.isNull()) return QString();
    switch (type()) {
    case FieldType::Boolean:
        return AsBoolean() ? QStringLiteral("True") : QStringLiteral("False");
    case FieldType::Integer:
        return QString::number(qint32(v.toLongLong()));
    case FieldType::DateTime:
        return DateTimeText(v.toDouble());
    default:
        return v.toString();
    }
}

static bool parseBooleanText(const QString& text, bool* value)
{
    const QString t = text.toLower();
    if (t.isEmpty()) return false;
    if (QStringLiteral("true").startsWith(t)) {
        *value = true;
        return true;
    }
    if (QStringLiteral("false").startsWith(t)) {
        *value = false;
        return true;
    }
    return false;
}

// An optional sign and decimal digits, nothing else: no blanks, no trailing line feed.
static bool parseDecimal(const QString& text, int* value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) ++i;
    if (i == n) return false;
    for (qsizetype j = i; j < n; ++j)
        if (text[j] < QLatin1Char('0') || text[j] > QLatin1Char('9')) return false;
    bool ok = false;
    const qlonglong v = text.toLongLong(&ok);
    if (!ok || v < INT_MIN || v > INT_MAX) return false;
    *value = int(v);
    return true;
}

bool TField::AsBoolean() const
{
    const QVariant v = m_query->value(m_column);
    if (!v.isValid() || v.isNull()) return false;
    if (v.typeId() == QMetaType::QString) {
        bool b = false;
        return parseBooleanText(v.toString(), &b) && b;
    }
    return v.toLongLong() != 0;
}

int TField::AsInteger() const
{
    const QVariant v = m_query->value(m_column);
    if (!v.isValid() || v.isNull()) return 0;
    if (v.typeId() == QMetaType::QString) {
        int i = 0;
        if (!parseDecimal(v.toString(), &i))
            throw EZvError(tr("'%1' is not a valid integer value for field '%2'").arg(v.toString(), name()));
        return i;
    }
    if (v.typeId() == QMetaType::Double) return int(v.toDouble());
    return qint32(v.toLongLong());
}

TDateTime TField::AsDateTime() const
{
    const QVariant v = m_query->value(m_column);
    if (!v.isValid() || v.isNull()) return 0.0;
    return v.toDouble();
}

void TField::setAsString(const QString& value)
{
    switch (type()) {
    case FieldType::Boolean: {
        if (value.isEmpty()) {
            clear();
            return;
        }
        bool b = false;
        if (!parseBooleanText(value, &b))
            throw EZvError(tr("'%1' is not a valid boolean value for field '%2'").arg(value, name()));
        m_query->setValue(m_column, QVariant(qlonglong(b ? 1 : 0)));
        return;
    }
    case FieldType::Integer: {
        if (value.isEmpty()) {
            clear();
            return;
        }
        int i = 0;
        if (!parseDecimal(value, &i))
            throw EZvError(tr("'%1' is not a valid integer value for field '%2'").arg(value, name()));
        m_query->setValue(m_column, QVariant(qlonglong(i)));
        return;
    }
    case FieldType::DateTime:
        if (value.isEmpty())
            clear();
        else
            setAsDateTime(ParseIsoDateTime(value));
        return;
    default:
        m_query->setValue(m_column, QVariant(value));
    }
}

void TField::setAsBoolean(bool value)
{
    if (type() == FieldType::Text)
        m_query->setValue(m_column, QVariant(value ? QStringLiteral("True") : QStringLiteral("False")));
    else
        m_query->setValue(m_column, QVariant(qlonglong(value ? 1 : 0)));
}

void TField::setAsInteger(int value)
{
    if (type() == FieldType::Text)
        m_query->setValue(m_column, QVariant(QString::number(value)));
    else
        m_query->setValue(m_column, QVariant(qlonglong(value)));
}

void TField::setAsDateTime(TDateTime value)
{
    m_query->setValue(m_column, QVariant(double(value)));
}

void TField::clear()
{
    m_query->setValue(m_column, QVariant());
}

} // namespace zv
