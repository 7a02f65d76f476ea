#include "frames/ZvFrameKinds.h"

#include <QCoreApplication>

namespace zv {

TZvFrameTraits FrameTraits(TZvFrameKind kind)
{
    const bool tasks = kind == TZvFrameKind::Tasks;
    const auto pick = [tasks](auto forTasks, auto forMemos) { return tasks ? forTasks : forMemos; };
    // Texts keep the translation context of the frame that shows them.
    const auto text = [tasks](const char* forTasks, const char* forMemos) {
        return tasks ? QCoreApplication::translate("zv::TzvTasksFrame", forTasks)
                     : QCoreApplication::translate("zv::TzvMemosFrame", forMemos);
    };
    const auto both = [&text](const char* either) { return text(either, either); };

    TZvFrameTraits t(pick(ImageList::Task16, ImageList::Memo16), pick(ImageList::Task22, ImageList::Memo22));
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
    t.tipIcons[t.emptyTipKind] = pick(15, 13);
    t.tipTexts[t.editTipKind] = both("Click here to finish Edit. Press Esc cancel.");
    t.tipIcons[t.editTipKind] = pick(16, 14);
    t.tipTexts[t.searchTipKind] = both("Search no result");
    t.tipIcons[t.searchTipKind] = pick(19, 17);
    // 2036: the memo list judges the tip while the removed node still exists.
    t.tipBeforeRemove = pick(false, true);
    t.subNumberSuffix = pick(QString(), QStringLiteral(" "));

    t.searchIdleImage = pick(20, 18);
    t.searchActiveImage = pick(21, 19);
    t.sortAscendingImage = pick(10, 8);
    t.sortDescendingImage = pick(9, 7);

    t.selectFirst = text("Please select a task!", "Please select a memo!");
    t.deleteOne = text("this task?", "this memo?");
    t.deleteMany = text("these tasks?", "these memos?");

    using H = TZvHelpItem;
    t.helpItems = {H::Contents, H::Separator, H::Contact, H::Suggestion, H::Separator, H::Website, H::Update};
    if (tasks) t.helpItems.append(H::Resources); // the memo list has no resources page
    t.helpItems += {H::Separator, H::About};

    using C = TZvCommand;
    const auto command = [&t](C c) -> TZvCommandText& { return t.commands[std::size_t(c)]; };
    command(C::Add) = {text("Add &Task        Enter", "&Add Memo          Enter"),
                       text("Add Task", "Add Memo"), pick(15, 13)};
    command(C::AddChild) = {text("&Add Sub-Task  Ctrl+Enter", "Add &Sub-Memo    Ctrl+Enter"),
                            text("Add Sub-Task", "Add Sub-Memo"), pick(3, 2)};
    command(C::Edit) = {text("&Edit            F2", "&Edit              F2"),
                        text("Edit Task or Sub-Task", "Edit Memo or Sub-Memo"), pick(4, 3)};
    command(C::Delete) = {both("&Delete"), text("Delete Task or Sub-Task", "Delete Memo or Sub-Memo"),
                          pick(5, 4)};
    command(C::Sort) = {both("Sort Direction"), QString(), pick(10, 8)};
    command(C::ListView) = {both("View &List"), text("List View Tasks", "List view memos"), pick(11, 10)};
    command(C::ExpandAll) = {both("&Expand All"), both("Expand all"), pick(13, 11)};
    command(C::CollapseAll) = {both("&Collapse All"), both("Collapse all"), pick(14, 12)};
    command(C::SelectAll) = {text("&Select All       Ctrl+A", "Select &All        Ctrl+A"), QString(), -1};
    command(C::Deselect) = {both("&Deselect"), QString(), -1};
    command(C::Copy) = {text("&Copy             Ctrl+C", "&Copy              Ctrl+C"), QString(), -1};
    command(C::Paste) = {text("&Paste            Ctrl+V", "&Paste             Ctrl+V"), QString(), -1};
    command(C::Move) = {text("&Move to", "&Move"), QString(), -1};
    command(C::Export) = {both("&Export..."), QString(), -1};
    command(C::Email) = {text("E-mai&l Task...", "E-mai&l Memo..."), QString(), -1};
    command(C::Save) = {text("Sa&ve Task...", "Sa&ve Memo..."), QString(), -1};
    command(C::SaveAll) = {both("&Save All..."), QString(), pick(28, 15)};
    command(C::Print) = {both("&Print..."), QString(), pick(29, 16)};

    t.setCounts = pick(&TZvFrameHost::setTaskCounts, &TZvFrameHost::setMemoCounts);
    return t;
}

} // namespace zv
