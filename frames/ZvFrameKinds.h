#pragma once

#include "frames/ZvCommands.h"
#include "frames/ZvFrame.h"
#include "platform/ZvIcons.h"
#include <QStringList>
#include <vector>

namespace zv {

// What differs between the task frame and the memo frame, given once by each. Nothing
// here defaults to one frame's values: a frame that leaves a picture out shows none.
struct TZvFrameTraits
{
    TZvFrameTraits(TZvFrameKind k, ImageList small, ImageList large)
        : kind(k), images16(small), images22(large)
    {}

    TZvFrameKind kind;      // the translation context of the frame's texts
    QString table;          // "tasks" / "memos": the help context of the tree
    QString iniSection;     // "task" / "memo"
    QString logName;        // "Tasks" / "Memos": the "log" keys "private..." and "public..."
    QString treeHint;       // "Double click to add a Task!"
    QString accessibleName; // the tree's name for screen readers: its tab's caption
    QStringList tipTexts;   // by tip kind; 0 is empty
    QList<int> tipIcons;    // by tip kind, entries of the 16-pixel list (-1 none)
    int emptyTipKind = 0;   // the tip shown instead of none when no node is visible
    int editTipKind = 0;    // shown while editing
    int searchTipKind = 0;
    bool tipBeforeRemove = false; // 2036: the tip is judged before (memos) or after the removal
    QString subNumberSuffix;      // list view: "(n)" is followed by this ("" tasks, " " memos)
    ImageList images16;
    ImageList images22;
    int statusImage = -1;        // the status bar's picture while no item is selected
    int searchIdleImage = -1;    // the search button in placeholder mode
    int searchActiveImage = -1;  // ... and with the user's text
    int sortAscendingImage = -1; // the sort button while ascending (a click sorts descending)
    int sortDescendingImage = -1;
    QString selectFirst; // Add Sub-Item on an empty tree: "Please select a task!"
    QString deleteOne;   // "this task?"
    QString deleteMany;  // "these tasks?"
    QString itemsMenu;   // the menu of the items: "&Tasks" / "&Memos"
    QString oneItem;     // in the names of undo steps: "Task" ...
    QString manyItems;   // ... "%1 Tasks"
    QString nodePopup;   // the name of the pop-up menu over an item
    // Where the row count goes in the main window.
    void (TZvFrameHost::*setCounts)(int privateCount, int publicCount) = nullptr;
};

// The traits of the to-do list and of the memo list, written as one table: every row gives
// the task value and the memo value side by side, so a difference between the two lists is
// spelled once and read at a glance.
TZvFrameTraits FrameTraits(TZvFrameKind kind);

// The commands both lists have, and the main window's commands in their menus: a row each,
// the task value beside the memo value where the two differ. Each frame adds its own.
const std::vector<TZvCommandDecl>& SharedCommands();

// A text of the frame of that kind, in its translation context; empty for none.
QString FrameText(TZvFrameKind kind, const char* text);

} // namespace zv
