#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace zv {

// The image lists of the forms. The task frame and the memo frame number their pictures
// differently, so each has its own list; the 16- and 22-pixel list of a frame share one
// numbering (a menu shows entry n at 16 pixels, the tool bar the same entry at 22).
//
// Task16 / Task22 (task frame):
//   3 add sub-task, 4 edit, 5 delete, 8 view date, 9 sort ascending, 10 sort descending,
//   11 view list, 13 expand all, 14 collapse all, 15 add task (also tip "add"),
//   16 tip "finish edit", 18 help contents, 19 tip "search no result", 20 search (box idle),
//   21 clear search (box active), 22 reminder armed, 23 due date passed,
//   24 due date set and not passed, 28 save all, 29 print.
// Memo16 / Memo22 (memo frame):
//   0 top-level memo, 2 add sub-memo, 3 edit, 4 delete, 7 sort ascending, 8 sort descending,
//   10 view list, 11 expand all, 12 collapse all, 13 add memo (also tip "add"),
//   14 tip "finish edit", 15 save all, 16 print, 17 tip "search no result",
//   18 search (box idle), 19 clear search (box active), 21 sub-memo, 22 wide search.
// Main22 (main window and shared dialogs):
//   0 the program's icon, 1 "To-Do List" tab, 2 "Memos" tab, 3 information (status-bar
//   picture), 4 warning (dialog pictures), 18 help contents.
// Tray16: 0 the tray icon.
enum class ImageList
{
    Task16,
    Task22,
    Memo16,
    Memo22,
    Main22,
    Tray16
};

// The picture of one entry: the desktop theme's icon when the theme has one of the entry's
// freedesktop names, else our own bundled picture (16, 22, 32 and 48 pixels). An entry the
// list does not define (or -1, "no image") gives a null icon.
QIcon ZvImage(ImageList list, int entry);

// The entry's picture at size x size logical pixels (sharp on HiDPI screens); null for an
// undefined entry.
QPixmap ZvPixmap(ImageList list, int entry, int size);

// The freedesktop names tried for an entry, in order (empty for an undefined entry).
QStringList ZvIconThemeNames(ImageList list, int entry);

// The entries a list defines, ascending.
QList<int> ZvImageEntries(ImageList list);

// Our own picture of an entry, whatever the theme says (null for an undefined entry).
QIcon ZvBundledImage(ImageList list, int entry);

} // namespace zv
