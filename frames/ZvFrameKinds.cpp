#include "frames/ZvFrameKinds.h"

#include "frames/ZvItemFrame.h"

#include <QCoreApplication>

namespace zv {

QString FrameText(TZvFrameKind kind, const char* text)
{
    if (!text) return {};
    // Texts keep the translation context of the frame that shows them.
    return QCoreApplication::translate(
        kind == TZvFrameKind::Tasks ? "zv::TzvTasksFrame" : "zv::TzvMemosFrame", text);
}

TZvFrameTraits FrameTraits(TZvFrameKind kind)
{
    const bool tasks = kind == TZvFrameKind::Tasks;
    const auto pick = [tasks](auto forTasks, auto forMemos) { return tasks ? forTasks : forMemos; };
    const auto text = [kind, &pick](const char* forTasks, const char* forMemos) {
        return FrameText(kind, pick(forTasks, forMemos));
    };
    const auto both = [kind](const char* either) { return FrameText(kind, either); };
    const auto image = [tasks](int forTasks, int forMemos) { return tasks ? forTasks : forMemos; };

    TZvFrameTraits t(kind, pick(ImageList::Task16, ImageList::Memo16),
                     pick(ImageList::Task22, ImageList::Memo22));
    t.table = pick(QStringLiteral("tasks"), QStringLiteral("memos"));
    t.iniSection = pick(QStringLiteral("task"), QStringLiteral("memo"));
    t.logName = pick(QStringLiteral("Tasks"), QStringLiteral("Memos"));
    t.accessibleName = text("To-Do List", "Memos");
    t.treeHint = text("Double click to add a Task!", "Double click to add a Memo!");

    // The tip kinds are numbered differently, and so are their pictures.
    t.emptyTipKind = pick(1, 2);
    t.editTipKind = pick(2, 1);
    t.searchTipKind = 3;
    t.tipTexts = QStringList(4);
    t.tipIcons = QList<int>(4, -1);
    t.tipTexts[t.emptyTipKind] = both("Click here to Add a new Item.");
    t.tipIcons[t.emptyTipKind] = image(TaskImage::Add, MemoImage::Add);
    t.tipTexts[t.editTipKind] = both("Click here to finish Edit. Press Esc cancel.");
    t.tipIcons[t.editTipKind] = image(TaskImage::FinishEdit, MemoImage::FinishEdit);
    t.tipTexts[t.searchTipKind] = both("Search no result");
    t.tipIcons[t.searchTipKind] = image(TaskImage::SearchNone, MemoImage::SearchNone);
    // 2036: the memo list judges the tip while the removed node still exists.
    t.tipBeforeRemove = pick(false, true);
    t.subNumberSuffix = pick(QString(), QStringLiteral(" "));

    // The picture of tip kind 1, whichever tip that is.
    t.statusImage = image(TaskImage::Add, MemoImage::FinishEdit);
    t.searchIdleImage = image(TaskImage::Search, MemoImage::Search);
    t.searchActiveImage = image(TaskImage::ClearSearch, MemoImage::ClearSearch);
    // The button shows the direction a click sorts in.
    t.sortAscendingImage = image(TaskImage::SortDescending, MemoImage::SortDescending);
    t.sortDescendingImage = image(TaskImage::SortAscending, MemoImage::SortAscending);

    t.selectFirst = text("Please select a task!", "Please select a memo!");
    t.deleteOne = text("this task?", "this memo?");
    t.deleteMany = text("these tasks?", "these memos?");
    t.itemsMenu = text("&Tasks", "&Memos");
    t.oneItem = text("Task", "Memo");
    t.manyItems = text("%1 Tasks", "%1 Memos");
    t.nodePopup = pick(QStringLiteral("PopupMenu_Task"), QStringLiteral("PopupMenu_Memo"));

    t.setCounts = pick(&TZvFrameHost::setTaskCounts, &TZvFrameHost::setMemoCounts);
    return t;
}

const std::vector<TZvCommandDecl>& SharedCommands()
{
    using B = TZvBar;
    using G = TZvGuard;
    using E = TZvEnabling;
    using K = TZvCommandKind;
    using F = TZvItemFrame;
    using S = TZvSharedActions;
    // Groups of the item menu and the item pop-up: 0 add, 1 output, 2 edit, 3 clipboard
    // (pop-up only), 4 and 5 the frame's own, 6 Move to; -1 (pop-ups and Edit menu) undo.
    static const std::vector<TZvCommandDecl> commands = {
        // Their keys go through the tree's key handler, as Ctrl+C and Ctrl+V do: the same
        // window-wide shortcut in both frames would be ambiguous and never fire. The pop-up
        // task menu has U for "Set D&ue Date...".
        {.name = "Action_Undo",
         .caption = "&Undo",
         .popupCaption = "U&ndo",
         .keys = "Ctrl+Z",
         .run = &F::UndoExecute,
         .available = &F::CanUndo,
         .places = {{B::EditMenu, -1, 0}, {B::NodePopup, -1, 0}, {B::NullPopup, -1, 0}}},
        {.name = "Action_Redo",
         .caption = "&Redo",
         .keys = "Ctrl+Shift+Z",
         .run = &F::RedoExecute,
         .available = &F::CanRedo,
         .places = {{B::EditMenu, -1, 1}, {B::NodePopup, -1, 1}, {B::NullPopup, -1, 1}}},
        {.name = {"Action_TaskAdd", "Action_MemoAdd"},
         .caption = {"Add &Task        Enter", "&Add Memo          Enter"},
         .hint = {"Add Task", "Add Memo"},
         .image = {TaskImage::Add, MemoImage::Add},
         .run = &F::AddItemExecute,
         .places = {{B::ToolBarTop, 0, 0}, {B::ItemsMenu, 0, 0}, {B::NodePopup, 0, 0}, {B::NullPopup, 0, 0}}},
        {.name = {"Action_SubTaskAdd", "Action_MemoAddChild"},
         .caption = {"&Add Sub-Task  Ctrl+Enter", "Add &Sub-Memo    Ctrl+Enter"},
         .hint = {"Add Sub-Task", "Add Sub-Memo"},
         .image = {TaskImage::AddChild, MemoImage::AddChild},
         .run = &F::AddChildExecute,
         .places = {{B::ToolBarTop, 0, 1}, {B::ItemsMenu, 0, 1}, {B::NodePopup, 0, 1}, {B::NullPopup, 0, 1}}},
        {.name = {"Action_TaskEdit", "Action_MemoEdit"},
         .caption = {"&Edit            F2", "&Edit              F2"},
         .hint = {"Edit Task or Sub-Task", "Edit Memo or Sub-Memo"},
         .image = {TaskImage::Edit, MemoImage::Edit},
         .run = &F::EditExecute,
         .enabling = E::Selection,
         .places = {{B::ToolBarTop, 0, 2}, {B::ItemsMenu, 2, 0}, {B::NodePopup, 2, 0}}},
        {.name = {"Action_TaskDelete", "Action_MemoDelete"},
         .caption = "&Delete",
         .hint = {"Delete Task or Sub-Task", "Delete Memo or Sub-Memo"},
         .image = {TaskImage::Delete, MemoImage::Delete},
         .run = &F::DeleteExecute,
         .enabling = E::Selection,
         .places = {{B::ToolBarTop, 0, 3}, {B::ItemsMenu, 2, 1}, {B::NodePopup, 2, 1}}},
        // Sorting, the view and the clipboard stay usable during an edit (but disabled).
        {.name = "Action_ViewAsc",
         .caption = "Sort Direction",
         .image = {TaskImage::SortDescending, MemoImage::SortDescending},
         .run = &F::SortExecute,
         .guard = G::None,
         .places = {{B::ToolBarTop, 1, 0}}},
        {.name = "Action_ExpandAll",
         .caption = "&Expand All",
         .hint = "Expand all",
         .image = {TaskImage::ExpandAll, MemoImage::ExpandAll},
         .run = &F::ExpandAllExecute,
         .places = {{B::ToolBarTop, 1, 1}, {B::ViewMenu, 2, 0}}},
        {.name = "Action_CollapseAll",
         .caption = "&Collapse All",
         .hint = "Collapse all",
         .image = {TaskImage::CollapseAll, MemoImage::CollapseAll},
         .run = &F::CollapseAllExecute,
         .places = {{B::ToolBarTop, 1, 2}, {B::ViewMenu, 2, 1}}},
        {.name = "Action_ViewList",
         .caption = "View &List",
         .hint = {"List View Tasks", "List view memos"},
         .image = {TaskImage::ViewList, MemoImage::ViewList},
         .run = &F::ViewListExecute,
         .guard = G::None,
         .kind = K::Checkable,
         .places = {{B::ToolBarTop, 2, 0}, {B::ViewMenu, 0, 0}}},
        {.name = "Action_SelectAll",
         .caption = {"&Select All       Ctrl+A", "Select &All        Ctrl+A"},
         .run = &F::SelectAllExecute,
         .guard = G::None,
         .places = {{B::EditMenu, 1, 0}}},
        {.name = "Action_Deselect",
         .caption = "&Deselect",
         .run = &F::DeselectExecute,
         .guard = G::None,
         .places = {{B::EditMenu, 1, 1}}},
        {.name = {"Action_CopyTask", "Action_CopyMemo"},
         .caption = {"&Copy             Ctrl+C", "&Copy              Ctrl+C"},
         .run = &F::CopyExecute,
         .guard = G::None,
         .places = {{B::EditMenu, 0, 0}, {B::NodePopup, 3, 0}}},
        {.name = {"Action_PasteTask", "Action_PasteMemo"},
         .caption = {"&Paste            Ctrl+V", "&Paste             Ctrl+V"},
         .run = &F::PasteExecute,
         .guard = G::None,
         .places = {{B::EditMenu, 0, 1}, {B::NodePopup, 3, 1}, {B::NullPopup, 1, 0}}},
        // The command itself is in no menu: its submenus carry the targets.
        {.name = {"Action_MoveTo", "Action_Moveto"},
         .caption = {"&Move to", "&Move"},
         .enabling = E::Selection},
        {.name = "Menu_Moveto",
         .caption = {"&Move To", "&Move to"},
         .enabling = E::Selection,
         .kind = K::MoveMenu,
         .places = {{B::NodePopup, 6, 0}}},
        {.name = {"MainMoveTo", "MainMoveto"},
         .caption = "&Move to",
         .hint = {"Move tasks to other group", nullptr},
         .enabling = E::Selection,
         .kind = K::MoveMenu,
         .places = {{B::ItemsMenu, 6, 0}}},
        // Export stays enabled during an edit, yet refuses to run: its dialog would take the
        // focus from the editor and so store the half-typed text.
        {.name = "Action_Export",
         .caption = "&Export...",
         .run = &F::Action_ExportExecute,
         .enabling = E::Always,
         .places = {{B::FileMenu, 2, 0}}},
        {.name = "Action_ExportICalendar",
         .caption = "Export iCa&lendar...",
         .run = &F::Action_ExportICalendarExecute,
         .enabling = E::Always,
         .places = {{B::FileMenu, 2, 1}}},
        {.name = "Action_Email",
         .caption = {"E-mai&l Task...", "E-mai&l Memo..."},
         .run = &F::EmailExecute,
         .places = {{B::ItemsMenu, 1, 0}, {B::NodePopup, 1, 0}}},
        {.name = "Action_Save",
         .caption = {"Sa&ve Task...", "Sa&ve Memo..."},
         .run = &F::SaveExecute,
         .places = {{B::ItemsMenu, 1, 1}, {B::NodePopup, 1, 1}}},
        {.name = "Action_SaveAll",
         .caption = "&Save All...",
         .image = {TaskImage::SaveAll, MemoImage::SaveAll},
         .run = &F::SaveAllExecute,
         .places = {{B::FileMenu, 3, 0}}},
        {.name = "Action_Print",
         .caption = "&Print...",
         .image = {TaskImage::Print, MemoImage::Print},
         .run = &F::PrintExecute,
         .places = {{B::FileMenu, 3, 1}}},

        {.name = "Action_Options", .kind = K::Host, .host = &S::Options, .places = {{B::FileMenu, 0, 0}}},
        {.name = "Action_DbBackup", .kind = K::Host, .host = &S::DbBackup, .places = {{B::FileMenu, 1, 0}}},
        {.name = "Action_DbRestore", .kind = K::Host, .host = &S::DbRestore, .places = {{B::FileMenu, 1, 1}}},
        {.name = "Action_UndoRestore",
         .kind = K::Host,
         .host = &S::UndoRestore,
         .places = {{B::FileMenu, 1, 2}}},
        // Shown only while sync is on.
        {.name = "Action_SyncNow", .kind = K::Host, .host = &S::SyncNow, .places = {{B::FileMenu, 1, 3}}},
        {.name = "Action_Import", .kind = K::Host, .host = &S::Import, .places = {{B::FileMenu, 2, 2}}},
        {.name = "Action_ImportICalendar",
         .kind = K::Host,
         .host = &S::ImportICalendar,
         .places = {{B::FileMenu, 2, 3}}},
        {.name = "Action_UiStayOnTop",
         .kind = K::Host,
         .host = &S::StayOnTop,
         .places = {{B::FileMenu, 4, 0}}},
        {.name = "Action_UiClose", .kind = K::Host, .host = &S::UiClose, .places = {{B::FileMenu, 5, 0}}},
        {.name = "HelpContents1", .kind = K::Host, .host = &S::HelpContents, .places = {{B::HelpMenu, 0, 0}}},
        {.name = "Action_Contact", .kind = K::Host, .host = &S::Contact, .places = {{B::HelpMenu, 1, 0}}},
        {.name = "Action_Suggestion",
         .kind = K::Host,
         .host = &S::Suggestion,
         .places = {{B::HelpMenu, 1, 1}}},
        {.name = "Action_Website", .kind = K::Host, .host = &S::Website, .places = {{B::HelpMenu, 2, 0}}},
        {.name = "Action_Update", .kind = K::Host, .host = &S::Update, .places = {{B::HelpMenu, 2, 1}}},
        // The memo list has no resources page.
        {.name = "Action_Resources",
         .kind = K::Host,
         .host = &S::Resources,
         .only = TZvFrameKind::Tasks,
         .places = {{B::HelpMenu, 2, 2}}},
        {.name = "Action_About", .kind = K::Host, .host = &S::About, .places = {{B::HelpMenu, 3, 0}}},
    };
    return commands;
}

} // namespace zv
