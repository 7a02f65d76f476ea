#include "memos/Fr_zvMemos.h"

#include "frames/ZvFrameKinds.h"
#include "interchange/ZvExchange.h"
#include "platform/ZvTree.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QCoreApplication>
#include <QToolBar>
#include <QToolButton>

namespace zv {

namespace {

// The memo frame's own command, beside the ones both lists have (frames/ZvFrameKinds.cpp).
std::vector<TZvCommandDecl> memoCommands()
{
    return {
        // The search stays usable during an edit, and so does its option: never disabled.
        {.name = "Action_searchWide",
         .hint = QT_TRANSLATE_NOOP("zv::TzvMemosFrame", "View all sub-Memos in search result"),
         .image = MemoImage::SearchWide,
         .run = Run(&TzvMemosFrame::Action_searchWideExecute),
         .guard = TZvGuard::None,
         .enabling = TZvEnabling::Always,
         .kind = TZvCommandKind::Checkable,
         .places = {{TZvBar::ToolBarBottom, 0, 0}}},
    };
}

} // namespace

TZvFrame* CreateMemosFrame(TZvFrameHost* host, QWidget* tab)
{
    return new TzvMemosFrame(host, tab);
}

TzvMemosFrame::TzvMemosFrame(TZvFrameHost* host, QWidget* parent)
    : TZvRecordFrame<TMemoInfo>(host, FrameTraits(TZvFrameKind::Memos), memoCommands(), parent)
{
    BuildLayout();
    Edt_Search->Reset();
    UpdateActions();
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
    if (Initialising()) return;
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
    return node->level() == 0 ? MemoImage::Memo : MemoImage::SubMemo;
}

} // namespace zv
