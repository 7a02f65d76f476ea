#include "memos/Fr_zvMemos.h"

#include "frames/ZvFrameKinds.h"
#include "interchange/ZvExchange.h"
#include "platform/ZvTree.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace zv {

TZvFrame* CreateMemosFrame(TZvFrameHost* host, QWidget* tab)
{
    return new TzvMemosFrame(host, tab);
}

TzvMemosFrame::TzvMemosFrame(TZvFrameHost* host, QWidget* parent)
    : TZvRecordFrame<TMemoInfo>(host, FrameTraits(TZvFrameKind::Memos), parent)
{
    createActions();
    createMenus();
    BuildLayout(nullptr, Action_searchWide);

    ResetSearchBox();
    UpdateActions();
}

void TzvMemosFrame::createActions()
{
    std::tie(Action_MemoAdd, Action_MemoAddChild, Action_MemoEdit, Action_MemoDelete, Action_Moveto,
             Action_CopyMemo, Action_PasteMemo) = OwnNamedCommands();
    // The search stays usable during an edit, and so does its option.
    Action_searchWide = MakeAction(
        QString(), tr("View all sub-Memos in search result"), 22, [this] { Action_searchWideExecute(); },
        Guard::None);
    Action_searchWide->setCheckable(true);
}

void TzvMemosFrame::createMenus()
{
    Menu_Moveto = new QMenu(tr("&Move to"), this);
    MainMoveto = new QMenu(tr("&Move to"), this);

    PopupMenu_Memo = new QMenu(this);
    PopupMenu_Memo->addActions({Action_MemoAdd, Action_MemoAddChild});
    PopupMenu_Memo->addSeparator();
    PopupMenu_Memo->addActions({Action_Email, Action_Save});
    PopupMenu_Memo->addSeparator();
    PopupMenu_Memo->addActions({Action_MemoEdit, Action_MemoDelete});
    PopupMenu_Memo->addSeparator();
    PopupMenu_Memo->addActions({Action_CopyMemo, Action_PasteMemo});
    PopupMenu_Memo->addSeparator();
    PopupMenu_Memo->addMenu(Menu_Moveto);

    PopupMenu_Null = new QMenu(this);
    PopupMenu_Null->addActions({Action_MemoAdd, Action_MemoAddChild});
    PopupMenu_Null->addSeparator();
    PopupMenu_Null->addAction(Action_PasteMemo);
    SetPopupMenus(PopupMenu_Memo, PopupMenu_Null);

    auto* view = new QMenu(tr("&View"), this);
    view->addAction(Action_ViewList);
    view->addSeparator();
    view->addActions({Action_ExpandAll, Action_CollapseAll});

    auto* memos = new QMenu(tr("&Memos"), this);
    memos->addActions({Action_MemoAdd, Action_MemoAddChild});
    memos->addSeparator();
    memos->addActions({Action_Email, Action_Save});
    memos->addSeparator();
    memos->addActions({Action_MemoEdit, Action_MemoDelete});
    memos->addSeparator();
    memos->addMenu(MainMoveto);

    SetMainMenus({FileMenu(Action_Export, Action_SaveAll, Action_Print),
                  EditMenu(Action_CopyMemo, Action_PasteMemo, Action_SelectAll, Action_Deselect), view, memos,
                  HelpMenu()});

    // Export and the wide search are never disabled.
    SetActionSets({Action_MemoAdd, Action_MemoAddChild, Action_MemoEdit, Action_MemoDelete, Action_ViewAsc,
                   Action_ViewList, Action_ExpandAll, Action_CollapseAll, Action_SaveAll, Action_Save,
                   Action_Email, Action_Print, Action_Moveto, Action_SelectAll, Action_Deselect,
                   Action_CopyMemo, Action_PasteMemo},
                  {Action_MemoAdd, Action_MemoAddChild, Action_ViewAsc, Action_ViewList, Action_ExpandAll,
                   Action_CollapseAll, Action_SaveAll, Action_Save, Action_Email, Action_Print,
                   Action_SelectAll, Action_Deselect, Action_CopyMemo, Action_PasteMemo},
                  {Action_MemoEdit, Action_MemoDelete, Action_Moveto}, {Menu_Moveto, MainMoveto});
}

void TzvMemosFrame::ReadViewSettings(TIniFile& ini)
{
    Action_searchWide->setChecked(ini.ReadBool(traits().iniSection, QStringLiteral("searchWideEn"), false));
}

bool TzvMemosFrame::WideSearch() const
{
    return Action_searchWide->isChecked();
}

void TzvMemosFrame::Action_searchWideExecute()
{
    if (initialising) return;
    FilterMemos();
    TIniFile(host()->confFile())
        .WriteBool(traits().iniSection, QStringLiteral("searchWideEn"), Action_searchWide->isChecked());
}

QString TzvMemosFrame::StatusText(TZvNode* node) const
{
    return DateTimeText(Info(node)->createTime) + tr(" created");
}

int TzvMemosFrame::SearchBoxWidth() const
{
    return ToolBar_Bottom->width() - 2 * Btn_Search->sizeHint().width() - 10;
}

int TzvMemosFrame::NodeImage(TZvNode* node) const
{
    return node->level() == 0 ? 0 : 21;
}

void TzvMemosFrame::Action_ExportExecute()
{
    ExportSelection(host()->window(), SelectionRecords(), host()->appVersion());
}

} // namespace zv
