#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace zv {

// The image lists of the forms. The task frame and the memo frame number their pictures
// differently, so each has its own list; the 16- and 22-pixel list of a frame share one
// numbering (a menu shows entry n at 16 pixels, the tool bar the same entry at 22). The
// entries each list defines are named below, once; code names them, never their numbers.
enum class ImageList
{
    Task16,
    Task22,
    Memo16,
    Memo22,
    Main22,
    Tray16
};

// Task16 / Task22 (task frame).
namespace TaskImage {
enum : int
{
    AddChild = 3,
    Edit = 4,
    Delete = 5,
    ViewDate = 8,
    SortAscending = 9,
    SortDescending = 10,
    ViewList = 11,
    ExpandAll = 13,
    CollapseAll = 14,
    Add = 15, // also the tip "add"
    FinishEdit = 16,
    Help = 18,
    SearchNone = 19,
    Search = 20,      // the search box idle
    ClearSearch = 21, // the search box with the user's text
    Reminder = 22,    // reminder armed
    DuePassed = 23,
    DueSet = 24, // due date set and not passed
    SaveAll = 28,
    Print = 29
};
} // namespace TaskImage

// Memo16 / Memo22 (memo frame).
namespace MemoImage {
enum : int
{
    Memo = 0, // a top-level memo
    AddChild = 2,
    Edit = 3,
    Delete = 4,
    SortAscending = 7,
    SortDescending = 8,
    ViewList = 10,
    ExpandAll = 11,
    CollapseAll = 12,
    Add = 13, // also the tip "add"
    FinishEdit = 14,
    SaveAll = 15,
    Print = 16,
    SearchNone = 17,
    Search = 18,
    ClearSearch = 19,
    SubMemo = 21,
    SearchWide = 22
};
} // namespace MemoImage

// Main22 (main window and shared dialogs).
namespace MainImage {
enum : int
{
    App = 0, // the program's icon
    TasksTab = 1,
    MemosTab = 2,
    Info = 3,    // the status-bar picture
    Warning = 4, // dialog pictures
    Help = 18
};
} // namespace MainImage

// Tray16.
namespace TrayImage {
enum : int
{
    App = 0
};
} // namespace TrayImage

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
