#pragma once

#include <QCoreApplication>
#include <QString>

namespace zv {

// A text of the sync for the user, translated: one context for the whole layer.
inline QString SyncText(const char* text)
{
    return QCoreApplication::translate("ZvSync", text);
}

} // namespace zv
