#include "platform/ZvIcons.h"

#include <QFile>
#include <QHash>
#include <QSize>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <mutex>

// Q_INIT_RESOURCE must be used at global namespace level: the pictures live in this static
// library, and nothing else would pull their registration into the executable.
static void zvInitIconResources()
{
    Q_INIT_RESOURCE(icons);
}

namespace zv {
namespace {

struct Entry
{
    int number;
    const char* glyph;                // our own picture: ":/zvicons/<glyph>-<size>.png"
    std::array<const char*, 3> names; // freedesktop names, tried in order (nullptr ends)
};

// The task frame's numbering.
const Entry kTaskEntries[] = {
    {3, "add-child", {"format-indent-more"}},
    {4, "edit", {"document-edit"}},
    {5, "delete", {"edit-delete"}},
    {8, "view-date", {"view-calendar", "x-office-calendar"}},
    {9, "sort-ascending", {"view-sort-ascending"}},
    {10, "sort-descending", {"view-sort-descending"}},
    {11, "view-list", {"view-list-details"}},
    {13, "expand-all", {"go-down"}},
    {14, "collapse-all", {"go-up"}},
    {15, "add", {"list-add"}},
    {16, "ok", {"dialog-ok-apply", "dialog-ok"}},
    {18, "help", {"help-contents"}},
    {19, "search-none", {"dialog-information"}},
    {20, "search", {"edit-find"}},
    {21, "clear", {"edit-clear"}},
    {22, "reminder", {"appointment-soon"}},
    {23, "due-passed", {"appointment-missed", "dialog-warning"}},
    {24, "due-set", {"x-office-calendar"}},
    {28, "save", {"document-save-as", "document-save"}},
    {29, "print", {"document-print"}},
};

// The memo frame's numbering (differs from the task frame's).
const Entry kMemoEntries[] = {
    {0, "memo", {"text-x-generic"}},
    {2, "add-child", {"format-indent-more"}},
    {3, "edit", {"document-edit"}},
    {4, "delete", {"edit-delete"}},
    {7, "sort-ascending", {"view-sort-ascending"}},
    {8, "sort-descending", {"view-sort-descending"}},
    {10, "view-list", {"view-list-details"}},
    {11, "expand-all", {"go-down"}},
    {12, "collapse-all", {"go-up"}},
    {13, "add", {"list-add"}},
    {14, "ok", {"dialog-ok-apply", "dialog-ok"}},
    {15, "save", {"document-save-as", "document-save"}},
    {16, "print", {"document-print"}},
    {17, "search-none", {"dialog-information"}},
    {18, "search", {"edit-find"}},
    {19, "clear", {"edit-clear"}},
    {21, "sub-memo", {"text-x-generic-template"}},
    {22, "search-wide", {"view-list-tree"}},
};

const Entry kMainEntries[] = {
    {0, "app", {"zorvik-jotboard"}},      {1, "tasks-tab", {"view-task"}},
    {2, "memos-tab", {"view-pim-notes"}}, {3, "info", {"dialog-information"}},
    {4, "warning", {"dialog-warning"}},   {18, "help", {"help-contents"}},
};

// The tray shows the program's own picture unless an installed theme icon of that name exists.
const Entry kTrayEntries[] = {
    {0, "app", {"zorvik-jotboard"}},
};

template <std::size_t N> const Entry* findIn(const Entry (&table)[N], int number)
{
    for (const Entry& e : table)
        if (e.number == number) return &e;
    return nullptr;
}

const Entry* findEntry(ImageList list, int number)
{
    switch (list) {
    case ImageList::Task16:
    case ImageList::Task22:
        return findIn(kTaskEntries, number);
    case ImageList::Memo16:
    case ImageList::Memo22:
        return findIn(kMemoEntries, number);
    case ImageList::Main22:
        return findIn(kMainEntries, number);
    case ImageList::Tray16:
        return findIn(kTrayEntries, number);
    }
    return nullptr;
}

void ensureResources()
{
    static std::once_flag once;
    std::call_once(once, [] { zvInitIconResources(); });
}

QIcon bundledIcon(const char* glyph)
{
    ensureResources();
    static QHash<QString, QIcon> cache;
    const QString key = QString::fromLatin1(glyph);
    auto it = cache.constFind(key);
    if (it != cache.constEnd()) return *it;
    QIcon icon;
    const QString base = QStringLiteral(":/zvicons/") + key + QLatin1Char('-');
    for (int size : {16, 22, 32, 48, 64}) {
        const QString file = base + QString::number(size) + QStringLiteral(".png");
        if (QFile::exists(file)) icon.addFile(file, QSize(size, size));
    }
    cache.insert(key, icon);
    return icon;
}

} // namespace

QIcon ZvBundledImage(ImageList list, int entry)
{
    const Entry* e = findEntry(list, entry);
    return e ? bundledIcon(e->glyph) : QIcon();
}

QIcon ZvImage(ImageList list, int entry)
{
    const Entry* e = findEntry(list, entry);
    if (!e) return QIcon();
    // The theme is asked every time: the user may switch themes while the program runs.
    for (const char* name : e->names) {
        if (!name) break;
        const QString themeName = QString::fromLatin1(name);
        if (QIcon::hasThemeIcon(themeName)) return QIcon::fromTheme(themeName);
    }
    return bundledIcon(e->glyph);
}

QPixmap ZvPixmap(ImageList list, int entry, int size)
{
    const QIcon icon = ZvImage(list, entry);
    if (icon.isNull() || size <= 0) return QPixmap();
    return icon.pixmap(QSize(size, size));
}

QStringList ZvIconThemeNames(ImageList list, int entry)
{
    QStringList names;
    if (const Entry* e = findEntry(list, entry))
        for (const char* name : e->names) {
            if (!name) break;
            names << QString::fromLatin1(name);
        }
    return names;
}

QList<int> ZvImageEntries(ImageList list)
{
    QList<int> numbers;
    auto collect = [&numbers](const auto& table) {
        for (const Entry& e : table)
            numbers << e.number;
    };
    switch (list) {
    case ImageList::Task16:
    case ImageList::Task22:
        collect(kTaskEntries);
        break;
    case ImageList::Memo16:
    case ImageList::Memo22:
        collect(kMemoEntries);
        break;
    case ImageList::Main22:
        collect(kMainEntries);
        break;
    case ImageList::Tray16:
        collect(kTrayEntries);
        break;
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

} // namespace zv
