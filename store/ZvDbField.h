#pragma once

#include "store/ZvDateTime.h"

#include <QString>

namespace zv {

enum class FieldType
{
    Text,
    Boolean,
    Integer,
    DateTime,
    Other
};

class TADOQuery;

// A column of the current row, read or written as text, boolean, integer or date-time.
class TField
{
public:
    QString AsString() const;
    bool AsBoolean() const;
    int AsInteger() const;
    TDateTime AsDateTime() const;
    bool IsNull() const;
    FieldType type() const;
    QString name() const;

    void setAsString(const QString& value); // converts for boolean and integer fields
    void setAsBoolean(bool value);
    void setAsInteger(int value);
    void setAsDateTime(TDateTime value);
    void clear(); // stores null

private:
    friend class TADOQuery;
    TField(TADOQuery* query, int column) : m_query(query), m_column(column) {}
    TADOQuery* m_query;
    int m_column;
};

} // namespace zv
