#include "Fr_zvMemos.h"

#include "ZvExchange.h"
#include "ZvGuard.h"
#include "ZvIniFile.h"
#include "ZvReports.h"
#include "ZvSndMsg.h"
#include "ZvTree.h"
#include "pU_Funcs.h"

#include <QAction>
#include <QCoreApplication>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>

namespace zv {

namespace {

QString mtr(const char* text)
{
    return QCoreApplication::translate("TzvMemosFrame", text);
}

const QString kSection = QStringLiteral("memo");

TZvFrameTraits memoTraits()
{
    TZvFrameTraits t(ImageList::Memo16, ImageList::Memo22);
    t.table = QStringLiteral("memos");
    t.iniSection = kSection;
    t.logName = QStringLiteral("Memos");
    t.accessibleName = mtr("Memos");
    t.treeHint = mtr("Double click to add a Memo!");
    t.tipTexts = {QString(), mtr("Click here to finish Edit. Press Esc cancel."),
                  mtr("Click here to Add a new Item."), mtr("Search no result")};
    t.tipIcons = {-1, 14, 13, 17};
    t.editTipKind = 1;
    t.emptyTipKind = 2;
    t.searchTipKind = 3;
    // 2036: the tip is judged while the node still exists.
    t.tipBeforeRemove = true;
    t.subNumberSuffix = QStringLiteral(" ");
    t.searchIdleImage = 18;
    t.searchActiveImage = 19;
    t.sortAscendingImage = 8;
    t.sortDescendingImage = 7;
    t.selectFirst = mtr("Please select a memo!");
    t.deleteOne = mtr("this memo?");
    t.deleteMany = mtr("these memos?");
    using H = TZvHelpItem;
    t.helpItems = {H::Contents, H::Separator, H::Contact,   H::Suggestion, H::Separator,
                   H::Website,  H::Update,    H::Separator, H::About};
    t.setCounts = &TZvFrameHost::setMemoCounts;
    return t;
}

} // namespace

TZvFrame* CreateMemosFrame(TZvFrameHost* host, QWidget* tab)
{
    return new TzvMemosFrame(host, tab);
}

TzvMemosFrame::TzvMemosFrame(TZvFrameHost* host, QWidget* parent)
    : TZvRecordFrame<TMemoInfo>(host, memoTraits(), parent)
{
    createActions();
    createMenus();

    for (QAction* a : {Action_MemoAdd, Action_MemoAddChild, Action_MemoEdit, Action_MemoDelete})
        ToolBar_Top->addAction(a);
    ToolBar_Top->addSeparator();
    for (QAction* a : {Action_ViewAsc, Action_ExpandAll, Action_CollapseAll})
        ToolBar_Top->addAction(a);
    ToolBar_Top->addSeparator();
    ToolBar_Top->addAction(Action_ViewList);
    BuildLayout(nullptr, Action_searchWide);

    ResetSearchBox();
    UpdateActions();
}

void TzvMemosFrame::createActions()
{
    const auto base = [this](void (TZvItemFrame::*handler)()) {
        return [this, handler] { (this->*handler)(); };
    };
    Action_MemoAdd =
        MakeAction(mtr("&Add Memo          Enter"), mtr("Add Memo"), 13, base(&TZvItemFrame::AddItemExecute));
    Action_MemoAddChild = MakeAction(mtr("Add &Sub-Memo    Ctrl+Enter"), mtr("Add Sub-Memo"), 2,
                                     base(&TZvItemFrame::AddChildExecute));
    Action_MemoEdit = MakeAction(mtr("&Edit              F2"), mtr("Edit Memo or Sub-Memo"), 3,
                                 base(&TZvItemFrame::EditExecute));
    Action_MemoDelete =
        MakeAction(mtr("&Delete"), mtr("Delete Memo or Sub-Memo"), 4, base(&TZvItemFrame::DeleteExecute));
    Action_ViewAsc = MakeAction(mtr("Sort Direction"), {}, 8, base(&TZvItemFrame::SortExecute), Guard::None);
    Action_ViewList = MakeAction(mtr("View &List"), mtr("List view memos"), 10,
                                 base(&TZvItemFrame::ViewListExecute), Guard::None);
    Action_ViewList->setCheckable(true);
    Action_Moveto = MakeAction(mtr("&Move"), {}, -1, nullptr); // carries no target of its own
    Action_ExpandAll =
        MakeAction(mtr("&Expand All"), mtr("Expand all"), 11, [this] { ExpandAllExecute(true); });
    Action_CollapseAll =
        MakeAction(mtr("&Collapse All"), mtr("Collapse all"), 12, [this] { ExpandAllExecute(false); });
    Action_SelectAll = MakeAction(mtr("Select &All        Ctrl+A"), {}, -1,
                                  base(&TZvItemFrame::SelectAllExecute), Guard::None);
    Action_Deselect = MakeAction(mtr("&Deselect"), {}, -1, base(&TZvItemFrame::DeselectExecute), Guard::None);
    Action_CopyMemo =
        MakeAction(mtr("&Copy              Ctrl+C"), {}, -1, base(&TZvItemFrame::CopyExecute), Guard::None);
    Action_PasteMemo =
        MakeAction(mtr("&Paste             Ctrl+V"), {}, -1, base(&TZvItemFrame::PasteExecute), Guard::None);
    Action_Export = MakeAction(
        mtr("&Export..."), {}, -1, [this] { Action_ExportExecute(); }, Guard::NotBusy);
    Action_Email = MakeAction(mtr("E-mai&l Memo..."), {}, -1, [this] { EmailExecute(); });
    Action_Save = MakeAction(mtr("Sa&ve Memo..."), {}, -1, [this] { SaveExecute(false); });
    Action_SaveAll = MakeAction(mtr("&Save All..."), {}, 15, [this] { SaveExecute(true); });
    Action_Print = MakeAction(mtr("&Print..."), {}, 16, [this] { PrintExecute(); });
    // The search stays usable during an edit, and so does its option.
    Action_searchWide = MakeAction(
        QString(), mtr("View all sub-Memos in search result"), 22, [this] { Action_searchWideExecute(); },
        Guard::None);
    Action_searchWide->setCheckable(true);
    SetSortAction(Action_ViewAsc);
    SetListViewAction(Action_ViewList);
}

void TzvMemosFrame::createMenus()
{
    Menu_Moveto = new QMenu(mtr("&Move to"), this);
    MainMoveto = new QMenu(mtr("&Move to"), this);

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

    auto* view = new QMenu(mtr("&View"), this);
    view->addAction(Action_ViewList);
    view->addSeparator();
    view->addActions({Action_ExpandAll, Action_CollapseAll});

    auto* memos = new QMenu(mtr("&Memos"), this);
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
    Action_searchWide->setChecked(ini.ReadBool(kSection, QStringLiteral("searchWideEn"), false));
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
        .WriteBool(kSection, QStringLiteral("searchWideEn"), Action_searchWide->isChecked());
}

QString TzvMemosFrame::StatusText(TZvNode* node) const
{
    return DateTimeText(Info(node)->createTime) + mtr(" created");
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
    ExportMemoSelection(host()->window(), SelectionRecords(), host()->appVersion());
}

} // namespace zv
