#include "frames/ZvItemFrame.h"

#include "components/ZvStatusBar.h"
#include "components/ZvTray.h"
#include "frames/ZvMessages.h"
#include "platform/ZvColors.h"
#include "platform/ZvSystem.h"
#include "platform/ZvTree.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/ZvScopeExit.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>

namespace zv {

namespace {

// A tool bar with a picture stretched behind its buttons.
class TPictureToolBar : public QToolBar
{
public:
    TPictureToolBar(const QPixmap* picture, int imageSize, QWidget* parent)
        : QToolBar(parent), m_picture(picture)
    {
        setMovable(false);
        setFloatable(false);
        setIconSize(QSize(imageSize, imageSize));
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        if (m_picture && !m_picture->isNull()) {
            QPainter p(this);
            p.drawPixmap(rect(), *m_picture);
            return;
        }
        QToolBar::paintEvent(event);
    }

private:
    const QPixmap* m_picture;
};

const QStringList& statusTips()
{
    static const QStringList tips = {
        TZvItemFrame::tr("Ctrl+Enter: Finish edit."),
        TZvItemFrame::tr("Esc: Cancel edit."),
        TZvItemFrame::tr("Mouse double click blank: shortcut add."),
        TZvItemFrame::tr("Enter: add a new item."),
        TZvItemFrame::tr("Ctrl+Enter: add a new Child item."),
        TZvItemFrame::tr("Ctrl+F12: Minimize window."),
    };
    return tips;
}

std::vector<TZvCommandDecl> withOwn(const std::vector<TZvCommandDecl>& own)
{
    std::vector<TZvCommandDecl> all = SharedCommands();
    all.insert(all.end(), own.begin(), own.end());
    return all;
}

} // namespace

TZvItemFrame::TZvItemFrame(TZvFrameHost* host, const TZvFrameTraits& traits,
                           const std::vector<TZvCommandDecl>& own, QWidget* parent)
    : TZvFrame(parent), m_host(host), m_traits(traits), m_commands(*this, m_traits, withOwn(own)),
      ToolBar_Top(new TPictureToolBar(&host->picture(HostPicture::ToolsbarBackground), 22, this)),
      ToolBar_Bottom(new TPictureToolBar(&host->picture(HostPicture::SearchbarBackground), 16, this)),
      m_tree(new TZvTree(this)), Panel_tip(new TZvTipPanel(this)),
      Edt_Search(new TZvSearchBox(ZvImage(traits.images16, traits.searchIdleImage),
                                  ZvImage(traits.images16, traits.searchActiveImage), this)),
      ZvStatusBar1(new TZvStatusBar(this, {21, 50})), StatusImage(new QLabel),
      Timer_HotDelay(new QTimer(this)), m_undo(new QUndoStack(this))
{
    // Only an empty stack takes a limit.
    m_undo->setUndoLimit(kUndoLimit);
    connect(m_undo, &QUndoStack::indexChanged, this, [this] { Guarded([this] { UpdateActions(); }); });
    ADOQuery1 = std::make_unique<TADOQuery>(&host->connection());
    ADOQuery2 = std::make_unique<TADOQuery>(&host->connection());

    m_tree->setEmptySpaceHint(traits.treeHint);
    // Help contexts: anchors of the help page.
    m_tree->setProperty("helpContext", traits.table);

    connect(Panel_tip, &TZvTipPanel::clicked, this,
            [this](int kind) { Guarded([this, kind] { tipClicked(kind); }); });
    connect(Edt_Search, &TZvSearchBox::searchChanged, this,
            [this](const QString& text) { Guarded([&] { searchChanged(text); }); });
    connect(Edt_Search, &TZvSearchBox::searchLifted, this, [this] {
        Guarded([this] {
            Filter();
            m_tree->setFocus();
        });
    });

    StatusImage->setFixedSize(16, 16);
    StatusImage->setPixmap(ZvPixmap(traits.images16, traits.statusImage, 16));
    ZvStatusBar1->addPanelWidget(0, StatusImage);

    Timer_HotDelay->setInterval(300);
    connect(Timer_HotDelay, &QTimer::timeout, this, [this] { Guarded([this] { onHotDelay(); }); });

    m_commands.Fill(TZvBar::ToolBarTop, ToolBar_Top);
    wireTree();
}

TZvItemFrame::~TZvItemFrame()
{
    // The stack empties itself when it goes, and tells: no one listens any more.
    disconnect(m_undo, nullptr, this, nullptr);
    // A focused search box, emptied, shows its placeholder again when it loses the focus
    // as the widgets go: that change must not filter a frame that is half gone.
    disconnect(Edt_Search, nullptr, this, nullptr);
    // The tree goes before the rest of the frame: its events reach into members that are
    // about to be destroyed (and into the derived frame, which is gone already).
    if (m_tree) {
        m_tree->events = TZvTreeEvents();
        delete m_tree;
        m_tree = nullptr;
    }
}

void TZvItemFrame::BuildLayout(QWidget* rangeBox)
{
    m_commands.Fill(TZvBar::ToolBarBottom, ToolBar_Bottom);
    if (rangeBox) {
        ToolBar_Bottom->addWidget(rangeBox);
        ToolBar_Bottom->addSeparator();
    }
    ToolBar_Bottom->addWidget(Edt_Search);
    ToolBar_Bottom->addWidget(Btn_Search);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar_Top);
    layout->addWidget(m_tree, 1);
    layout->addWidget(Panel_tip);
    layout->addWidget(ToolBar_Bottom);
    layout->addWidget(ZvStatusBar1);

    // Tab walks the tree, the range box (tasks) and the search box; the buttons are
    // reached by their menus' access keys. Screen readers get a name for each.
    m_tree->setTabKeyNavigation(false);
    m_tree->setAccessibleName(m_traits.accessibleName);
    QWidget* previous = m_tree;
    if (rangeBox) {
        rangeBox->setAccessibleName(rangeBox->toolTip());
        QWidget::setTabOrder(m_tree, rangeBox);
        previous = rangeBox;
    }
    QWidget::setTabOrder(previous, Edt_Search);
    for (QToolBar* bar : {ToolBar_Top, ToolBar_Bottom})
        for (QAction* a : bar->actions())
            if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a));
                button && button->defaultAction() == a) {
                button->setAccessibleName(a->toolTip().isEmpty()
                                              ? QString(a->text()).remove(QLatin1Char('&')).simplified()
                                              : a->toolTip());
                button->setFocusPolicy(Qt::NoFocus);
            }
}

void TZvItemFrame::wireTree()
{
    TZvTreeEvents& e = m_tree->events;
    e.GetText = [this](TZvNode* n) { return NodeText(n); };
    e.PaintText = [this](TZvNode* n, QFont& font, QColor& color) { PaintNodeText(n, font, color); };
    e.BeforeCellPaint = [this](TZvNode* n, QPainter* p, const QRect& r) {
        PaintBackground(n, p, r, OwnBackground(n));
    };
    e.GetImageIndex = [this](TZvNode* n) { return NodeImage(n); };
    e.ImageProvider = [list = m_traits.images16](int index) { return ZvImage(list, index); };
    e.GetPopupMenu = [this](TZvNode* n, const QPoint& pos) {
        m_commands.Popup(n ? TZvBar::NodePopup : TZvBar::NullPopup)->popup(pos);
    };
    e.MeasureItem = [this](TZvNode* n) { return MeasureNode(n); };
    e.Editing = [this](TZvNode* n, int column) {
        bool allowed = false;
        onEditing(n, column, allowed);
        return allowed;
    };
    e.NewText = [this](TZvNode* n, const QString& text) { StoreNewText(n, text); };
    e.Edited = [this](TZvNode* n) { onEdited(n); };
    e.EditCancelled = [this](TZvNode* n) { onEditCancelled(n); };
    e.KeyDown = [this](QKeyEvent* ev) { return onKeyDown(ev); };
    e.DblClick = [this] {
        if (!m_tree->nodeAt(QPoint(mouseX, mouseY)) && !editNode) PostZvMessage(this, WM_ADD_ITEM);
    };
    e.MouseMove = [this](const QPoint& p) {
        mouseX = p.x();
        mouseY = p.y();
    };
    e.Expanded = [this](TZvNode* n) { StoreExpandFlag(n, true); };
    e.Collapsed = [this](TZvNode* n) { StoreExpandFlag(n, false); };
    e.HotChange = [this](TZvNode* n) { onHotChange(n); };
    e.Change = [this](TZvNode* n) {
        UpdateActions();
        onSelectionChange(n);
    };
    e.CompareNodes = [this](TZvNode* a, TZvNode* b) {
        if (!a || !b) return 0;
        return CompareContent(*Item(a).content, *Item(b).content);
    };
    e.SortKey = [this](TZvNode* n) { return QStringView(*Item(n).content); };
    e.CompareKeys = [](QStringView a, QStringView b) { return CompareContent(a, b); };
    e.SortHead = [](QStringView text) { return SortHead(text); };
    e.DragAllowed = [](TZvNode*) { return true; };
    e.DragOver = [this](TZvNode* n) { return onDragOver(n); };
    e.DragDrop = [this](TZvNode* n) { onDragDrop(n); };
    e.FreeNode = [this](TZvNode* n) {
        ForgetSearchResults();
        m_pendingRemoval.remove(n);
        if (m_recording) m_recording->freed.insert(n);
        if (editNode == n) editNode = nullptr;
        if (hotNode == n) hotNode = nullptr;
    };
}

// ---- editing ------------------------------------------------------------------------------

void TZvItemFrame::onEditing(TZvNode* node, int column, bool& allowed)
{
    if (editNode) {
        allowed = true;
        UpdateActions();
        return;
    }
    allowed = false;
    if (node && column == 0 && !Busy()) {
        editNode = node;
        m_tree->invalidateNode(node);
        PostStartEdit();
    }
}

void TZvItemFrame::PostStartEdit()
{
    PostZvMessage(this, WM_START_EDIT);
}

void TZvItemFrame::onEdited(TZvNode* node)
{
    if (node) {
        editNode = nullptr;
        const TZvItemRef r = Item(node);
        if (r.id->isEmpty() && r.content->isEmpty()) {
            m_pendingRemoval.insert(node);
            PostZvMessage(this, WM_REMOVE_NODE, node);
        } else {
            m_tree->invalidateNode(node);
            m_tree->repaintNode(node);
            m_tree->clearNodeSelection();
            m_tree->setSelected(node, true);
            ShowTip(0);
        }
    }
    UpdateActions();
}

void TZvItemFrame::onEditCancelled(TZvNode*)
{
    if (editNode) {
        TZvNode* n = editNode;
        editNode = nullptr;
        if (Item(n).id->isEmpty()) {
            m_pendingRemoval.insert(n);
            PostZvMessage(this, WM_REMOVE_NODE, n);
        } else {
            m_tree->invalidateNode(n);
            m_tree->repaintNode(n);
            ShowTip(0);
        }
    }
    UpdateActions();
}

void TZvItemFrame::onRemoveNode(TZvNode* node)
{
    // The node may have gone meanwhile (a reload, a delete): only a node still waiting
    // for its removal is removed.
    if (!m_pendingRemoval.contains(node)) return;
    m_pendingRemoval.remove(node);
    if (m_traits.tipBeforeRemove) {
        ShowTip(0);
        m_tree->deleteNode(node);
    } else {
        m_tree->deleteNode(node);
        ShowTip(0);
    }
}

void TZvItemFrame::FinishEditing()
{
    if (editNode && m_tree->isEditing()) m_tree->endEdit();
}

void TZvItemFrame::CancelEditFirst()
{
    if (!editNode) return;
    if (m_tree->isEditing())
        m_tree->cancelEdit();
    else
        onEditCancelled(editNode);
}

TZvNode* TZvItemFrame::AppendNewNode(TZvNode* parent, std::unique_ptr<TZvNodeData> record)
{
    ForgetSearchResults();
    TZvNode* n = m_tree->addChild(parent, std::move(record));
    m_tree->setAlignment(n, 0);
    m_tree->setMultiLine(n, true);
    return n;
}

// ---- loading and the commands both frames have ---------------------------------------------

void TZvItemFrame::InitFrame()
{
    initialising = true;
    focusedOnce = false;
    m_tree->clear();
    tipKind = 0;
    {
        TIniFile ini(m_host->confFile());
        sortAscending = ini.ReadBool(m_traits.iniSection, QStringLiteral("viewAscEn"), true);
        ShowSortDirection();
        if (Action_ViewList)
            Action_ViewList->setChecked(
                ini.ReadBool(m_traits.iniSection, QStringLiteral("viewListEn"), false));
        ReadViewSettings(ini);
        const int n = CountItems();
        if (m_traits.setCounts) (m_host->*m_traits.setCounts)(n, 0);
        ini.WriteInteger(QStringLiteral("log"), QStringLiteral("private") + m_traits.logName, n);
        ini.WriteInteger(QStringLiteral("log"), QStringLiteral("public") + m_traits.logName, 0);
    }
    initialising = false;
    m_loadedOnce = true;
    LoadItems();
    Filter();
    UpdateActions();
    Edt_Search->Reset();
    InitDone();
    m_tree->setEmptySpaceHint(m_traits.treeHint);
    ShowRandomStatusTip();
    m_initDone = true;
}

void TZvItemFrame::UpdateActions()
{
    const bool idle = !editNode;
    TZvNode* first = idle ? m_tree->firstSelected() : nullptr;
    m_commands.Enable(idle, first != nullptr);
    updateUndoCaptions();
    RebuildMoveMenus();
    UpdateFrameActions(idle, first);
}

void TZvItemFrame::AddItemExecute()
{
    if (editNode || Busy()) return;
    BeforeAdd();
    editNode = NewItemNode(nullptr, kRootId);
    PostStartEdit();
    UpdateActions();
}

void TZvItemFrame::AddChildExecute()
{
    if (editNode || Busy()) return;
    BeforeAdd();
    TZvNode* parent = m_tree->firstSelected();
    if (parent && parent->level() > 0) parent = parent->parent();
    if (!parent) parent = m_tree->lastTopLevel();
    if (!parent) {
        MsgTip(m_traits.selectFirst);
        return;
    }
    // The last item may be filtered out: a shown sub-item shows its parent, and the editor
    // can only open on a node that is shown.
    if (!m_tree->isNodeVisible(parent)) m_tree->setNodeVisible(parent, true);
    editNode = NewItemNode(parent, *Item(parent).id);
    PostStartEdit();
    UpdateActions();
}

void TZvItemFrame::EditExecute()
{
    if (editNode || Busy()) return;
    TZvNode* first = m_tree->firstSelected();
    if (!first) return;
    editNode = first;
    m_tree->invalidateNode(first);
    PostStartEdit();
    UpdateActions();
}

void TZvItemFrame::DeleteExecute()
{
    if (editNode || Busy()) return;
    const std::vector<TZvNode*> selected = m_tree->selectedNodes();
    if (selected.empty()) return;
    const QString question = tr("Are you sure you want to delete ") +
                             (selected.size() == 1 ? m_traits.deleteOne : m_traits.deleteMany);
    if (MsgAsk(question) != IdOk) return;
    RecordStep(StepName("Delete %1", int(selected.size())), selected, true, [&] {
        {
            // The rows are laid out once for all of them, not once for each item.
            m_tree->beginUpdate();
            const auto done = ScopeExit([t = m_tree] { t->endUpdate(); });
            for (TZvNode* f : selected) {
                DeleteRows(f);
                if (f->level() == 0) m_tree->deleteChildren(f);
            }
            m_tree->deleteSelected();
        }
        Filter();
    });
    UpdateActions();
}

void TZvItemFrame::PasteFromTray()
{
    Guarded([this] { PasteExecute(); });
}

void TZvItemFrame::PasteExecute()
{
    if (Busy()) return;
    AddFromText(ClipboardSeam::text());
}

bool TZvItemFrame::ListViewOn() const
{
    return Action_ViewList && Action_ViewList->isChecked();
}

void TZvItemFrame::ViewListExecute()
{
    if (initialising) return;
    m_tree->beginUpdate();
    m_tree->invalidateAll();
    m_tree->endUpdate();
    TIniFile(m_host->confFile()).WriteBool(m_traits.iniSection, QStringLiteral("viewListEn"), ListViewOn());
}

void TZvItemFrame::tipClicked(int kind)
{
    if (kind <= 0) return;
    if (kind == m_traits.emptyTipKind)
        AddItemExecute();
    else if (kind == m_traits.editTipKind)
        FinishEditing();
    else if (kind == m_traits.searchTipKind)
        Btn_Search->click();
}

void TZvItemFrame::ShowSyncState(const QString& text, const QString& tip)
{
    if (!m_syncState) {
        if (text.isEmpty()) return;
        m_syncState = new QLabel(ZvStatusBar1);
        m_syncState->setObjectName(QStringLiteral("SyncState"));
        ZvStatusBar1->addPermanentWidget(m_syncState);
    }
    m_syncState->setText(text);
    m_syncState->setToolTip(tip);
    m_syncState->setVisible(!text.isEmpty());
}

void TZvItemFrame::onSelectionChange(TZvNode* node)
{
    if (!node) {
        ShowRandomStatusTip();
        return;
    }
    StatusImage->hide();
    ZvStatusBar1->setPanelText(1, StatusText(node));
}

// ---- posted messages ----------------------------------------------------------------------

void TZvItemFrame::customEvent(QEvent* event)
{
    switch (int(event->type())) {
    case WM_FRAME_INIT:
        Guarded([this] { InitFrame(); });
        break;
    case WM_FRAME_ACTIVATE:
        Guarded([this] { ActivateFrame(); });
        break;
    case WM_ADD_ITEM:
        Guarded([this] {
            if (!Busy()) AddItemExecute();
        });
        break;
    case WM_START_EDIT:
        Guarded([this] {
            if (!editNode) return;
            ShowTip(m_traits.editTipKind);
            // An editor that cannot open (the node is not shown) must not leave the frame
            // waiting for it with every command disabled: it counts as a cancelled edit.
            if (!m_tree->startEdit(editNode) && editNode && !m_tree->isEditing()) onEditCancelled(editNode);
        });
        break;
    case WM_REMOVE_NODE:
        Guarded([&] { onRemoveNode(static_cast<TZvNode*>(static_cast<ZvMessageEvent*>(event)->wParam())); });
        break;
    default:
        break;
    }
    TZvFrame::customEvent(event);
}

void TZvItemFrame::ActivateFrame()
{
    m_host->installMenus(this);
    m_tree->sortTree(sortAscending);
    if (!focusedOnce) {
        m_tree->setFocus();
        focusedOnce = true;
    }
}

bool TZvItemFrame::Busy() const
{
    return m_host->busy();
}

// ---- keys -----------------------------------------------------------------------------------

bool TZvItemFrame::onKeyDown(QKeyEvent* event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (Busy()) return true;
        if (ctrl)
            AddChildExecute();
        else
            AddItemExecute();
        return true;
    case Qt::Key_Delete:
        if (!Busy()) DeleteExecute();
        return true;
    case Qt::Key_C:
        if (!ctrl) return false;
        CopyExecute();
        return true;
    case Qt::Key_V:
        if (!ctrl) return false;
        if (!Busy()) PasteExecute();
        return true;
    case Qt::Key_Z:
        if (!ctrl) return false;
        if (event->modifiers() & Qt::ShiftModifier)
            RedoExecute();
        else
            UndoExecute();
        return true;
    case Qt::Key_Y:
        if (!ctrl) return false;
        RedoExecute();
        return true;
    case Qt::Key_F12:
        if (!ctrl) return false;
        if (TZvTrayIcon* tray = m_host->trayIcon()) tray->Minimize();
        return true;
    default:
        return false;
    }
}

// ---- tip panel, status bar, search box ---------------------------------------------------------

void TZvItemFrame::ShowTip(int kind)
{
    if (kind == 0 && m_tree->visibleCount() == 0) kind = m_traits.emptyTipKind;
    tipKind = kind;
    const int icon = m_traits.tipIcons.value(kind, -1);
    Panel_tip->Show(kind, m_traits.tipTexts.value(kind),
                    icon >= 0 ? ZvPixmap(m_traits.images16, icon, 16) : QPixmap());
}

void TZvItemFrame::ShowRandomStatusTip()
{
    StatusImage->show();
    const QStringList& tips = statusTips();
    ZvStatusBar1->setPanelText(1, tips.at(int(QRandomGenerator::global()->bounded(tips.size()))));
}

void TZvItemFrame::searchChanged(const QString& text)
{
    searchText = text;
    // Before the first load there is nothing to filter, and no query may run yet.
    if (m_loadedOnce) ApplyFilter();
}

void TZvItemFrame::layoutSearchBar()
{
    Edt_Search->setFixedWidth(std::max(40, SearchBoxWidth()));
}

void TZvItemFrame::resizeEvent(QResizeEvent* event)
{
    TZvFrame::resizeEvent(event);
    layoutSearchBar();
    Panel_tip->Relayout();
}

// A tip shown while the tab was hidden was measured at the hidden frame's width.
void TZvItemFrame::showEvent(QShowEvent* event)
{
    TZvFrame::showEvent(event);
    // ... and the tab's page gets its size only once shown: measure again after that.
    QMetaObject::invokeMethod(
        this, [this] { Panel_tip->Relayout(); }, Qt::QueuedConnection);
}

} // namespace zv
