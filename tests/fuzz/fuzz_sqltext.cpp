// The query layer's SQL text rewriting on any text: it must neither crash nor lose what it
// takes out. Every literal it takes must stand quoted in the input, and the table it names
// must be the text at the place it gives.
#include "store/ZvSqlText.h"
#include "store/pU_Funcs.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString sql = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QStringList literals;
    const QString out = zv::ParameterizeSql(sql, &literals);
    if (literals.isEmpty() && out != sql) std::abort();
    for (const QString& literal : literals)
        if (!sql.contains(zv::QuoteId(literal))) std::abort();
    qsizetype start = -1;
    const QString table = zv::StarSelectTable(sql, &start);
    if (!table.isEmpty() && sql.mid(start, table.size()) != table) std::abort();
    return 0;
}
