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
    {TaskImage::AddChild, "add-child", {"format-indent-more"}},
    {TaskImage::Edit, "edit", {"document-edit"}},
    {TaskImage::Delete, "delete", {"edit-delete"}},
    {TaskImage::ViewDate, "view-date", {"view-calendar", "x-office-calendar"}},
    {TaskImage::SortAscending, "sort-ascending", {"view-sort-ascending"}},
    {TaskImage::SortDescending, "sort-descending", {"view-sort-descending"}},
    {TaskImage::ViewList, "view-list", {"view-list-details"}},
    {TaskImage::ExpandAll, "expand-all", {"go-down"}},
    {TaskImage::CollapseAll, "collapse-all", {"go-up"}},
    {TaskImage::Add, "add", {"list-add"}},
    {TaskImage::FinishEdit, "ok", {"dialog-ok-apply", "dialog-ok"}},
    {TaskImage::Help, "help", {"help-contents"}},
    {TaskImage::SearchNone, "search-none", {"dialog-information"}},
    {TaskImage::Search, "search", {"edit-find"}},
    {TaskImage::ClearSearch, "clear", {"edit-clear"}},
    {TaskImage::Reminder, "reminder", {"appointment-soon"}},
    {TaskImage::DuePassed, "due-passed", {"appointment-missed", "dialog-warning"}},
    {TaskImage::DueSet, "due-set", {"x-office-calendar"}},
    {TaskImage::SaveAll, "save", {"document-save-as", "document-save"}},
    {TaskImage::Print, "print", {"document-print"}},
};

// The memo frame's numbering (differs from the task frame's).
const Entry kMemoEntries[] = {
    {MemoImage::Memo, "memo", {"text-x-generic"}},
    {MemoImage::AddChild, "add-child", {"format-indent-more"}},
    {MemoImage::Edit, "edit", {"document-edit"}},
    {MemoImage::Delete, "delete", {"edit-delete"}},
    {MemoImage::SortAscending, "sort-ascending", {"view-sort-ascending"}},
    {MemoImage::SortDescending, "sort-descending", {"view-sort-descending"}},
    {MemoImage::ViewList, "view-list", {"view-list-details"}},
    {MemoImage::ExpandAll, "expand-all", {"go-down"}},
    {MemoImage::CollapseAll, "collapse-all", {"go-up"}},
    {MemoImage::Add, "add", {"list-add"}},
    {MemoImage::FinishEdit, "ok", {"dialog-ok-apply", "dialog-ok"}},
    {MemoImage::SaveAll, "save", {"document-save-as", "document-save"}},
    {MemoImage::Print, "print", {"document-print"}},
    {MemoImage::SearchNone, "search-none", {"dialog-information"}},
    {MemoImage::Search, "search", {"edit-find"}},
    {MemoImage::ClearSearch, "clear", {"edit-clear"}},
    {MemoImage::SubMemo, "sub-memo", {"text-x-generic-template"}},
    {MemoImage::SearchWide, "search-wide", {"view-list-tree"}},
};

const Entry kMainEntries[] = {
    {MainImage::App, "app", {"zorvik-jotboard"}},           {MainImage::TasksTab, "tasks-tab", {"view-task"}},
    {MainImage::MemosTab, "memos-tab", {"view-pim-notes"}}, {MainImage::Info, "info", {"dialog-information"}},
    {MainImage::Warning, "warning", {"dialog-warning"}},    {MainImage::Help, "help", {"help-contents"}},
};

// The tray shows the program's own picture unless an installed theme icon of that name exists.
const Entry kTrayEntries[] = {
    {TrayImage::App, "app", {"zorvik-jotboard"}},
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
