#include "frames/ZvItemFrame.h"

#include "components/ZvStatusBar.h"
#include "components/ZvTray.h"
#include "frames/ZvMessages.h"
#include "platform/ZvColors.h"
#include "platform/ZvSystem.h"
#include "platform/ZvTree.h"
#include "platform/ZvWindowFront.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/ZvScopeExit.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QRandomGenerator>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zv {

namespace {

QString ftr(const char* text)
{
    return QCoreApplication::translate("TZvItemFrame", text);
}

// A tool bar with a picture stretched behind its buttons.
class TPictureToolBar : public QToolBar
{
public:
    TPictureToolBar(const QPixmap* picture, QWidget* parent) : QToolBar(parent), m_picture(picture)
    {
        setMovable(false);
        setFloatable(false);
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
        ftr("Ctrl+Enter: Finish edit."),
        ftr("Esc: Cancel edit."),
        ftr("Mouse double click blank: shortcut add."),
        ftr("Enter: add a new item."),
        ftr("Ctrl+Enter: add a new Child item."),
        ftr("Ctrl+F12: Minimize window."),
    };
    return tips;
}

constexpr int kGrayText = int(0xFF000011);
constexpr int kWindowText = int(0xFF000008);
constexpr int kInfoBackground = int(0xFF000018);

} // namespace

TZvItemFrame::TZvItemFrame(TZvFrameHost* host, const TZvFrameTraits& traits, QWidget* parent)
    : TZvFrame(parent), m_host(host), m_traits(traits)
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(13);
    setFont(f);

    ADOQuery1 = std::make_unique<TADOQuery>(&host->connection());
    ADOQuery2 = std::make_unique<TADOQuery>(&host->connection());

    ToolBar_Top = new TPictureToolBar(&host->picture(HostPicture::ToolsbarBackground), this);
    ToolBar_Top->setIconSize(QSize(22, 22));
    ToolBar_Bottom = new TPictureToolBar(&host->picture(HostPicture::SearchbarBackground), this);
    ToolBar_Bottom->setIconSize(QSize(16, 16));

    m_tree = new TZvTree(this);
    m_tree->setEmptySpaceHint(traits.treeHint);
    // Help contexts: anchors of the help page.
    m_tree->setProperty("helpContext", traits.table);

    Panel_tip = new QFrame(this);
    Panel_tip->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Panel_tip->setAutoFillBackground(true);
    QPalette tipPalette = Panel_tip->palette();
    tipPalette.setColor(QPalette::Window, ZvSystemColor(0xE1FFFF));
    Panel_tip->setPalette(tipPalette);
    Image_Tip = new QLabel(Panel_tip);
    Image_Tip->setGeometry(4, 4, 16, 16);
    label_tip = new QLabel(Panel_tip);
    label_tip->move(24, 4);
    label_tip->setWordWrap(true);
    // The text starts on the image's line: a label taller than its text (measured while the
    // panel was narrower) would otherwise centre it a line lower.
    label_tip->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_tip->setCursor(Qt::PointingHandCursor);
    QFont tipFont = label_tip->font();
    tipFont.setUnderline(true);
    label_tip->setFont(tipFont);
    QPalette labelPalette = label_tip->palette();
    labelPalette.setColor(QPalette::WindowText, Qt::blue);
    label_tip->setPalette(labelPalette);
    label_tip->installEventFilter(this);
    Panel_tip->installEventFilter(this);
    Panel_tip->hide();

    Edt_Search = new QLineEdit(this);
    Edt_Search->setToolTip(ftr("Input search string"));
    Edt_Search->setProperty("helpContext", QStringLiteral("search"));
    Edt_Search->installEventFilter(this);
    Btn_Search = new QToolButton(this);
    Btn_Search->setAutoRaise(true);
    Btn_Search->setIcon(ZvImage(traits.images16, traits.searchIdleImage));
    connect(Edt_Search, &QLineEdit::textChanged, this,
            [this](const QString& text) { Guarded([&] { searchChange(text); }); });
    connect(Btn_Search, &QToolButton::clicked, this, [this] { Guarded([this] { searchButton(); }); });

    ZvStatusBar1 = new TZvStatusBar(this, {21, 50});
    StatusImage = new QLabel;
    StatusImage->setFixedSize(16, 16);
    StatusImage->setPixmap(ZvPixmap(traits.images16, traits.tipIcons.value(1, 0), 16));
    ZvStatusBar1->addPanelWidget(0, StatusImage);

    Timer_HotDelay = new QTimer(this);
    Timer_HotDelay->setInterval(300);
    connect(Timer_HotDelay, &QTimer::timeout, this, [this] { Guarded([this] { onHotDelay(); }); });

    makeCommands();
    // The tool bar both lists begin with; a frame may add its own view commands at the end.
    using C = TZvCommand;
    for (C c : {C::Add, C::AddChild, C::Edit, C::Delete})
        ToolBar_Top->addAction(m_commands[std::size_t(c)]);
    ToolBar_Top->addSeparator();
    for (QAction* a : {Action_ViewAsc, Action_ExpandAll, Action_CollapseAll})
        ToolBar_Top->addAction(a);
    ToolBar_Top->addSeparator();
    ToolBar_Top->addAction(Action_ViewList);
    wireTree();
}

TZvItemFrame::~TZvItemFrame()
{
    // The tree goes before the rest of the frame: its events reach into members that are
    // about to be destroyed (and into the derived frame, which is gone already).
    if (m_tree) {
        m_tree->events = TZvTreeEvents();
        delete m_tree;
        m_tree = nullptr;
    }
}

void TZvItemFrame::BuildLayout(QWidget* rangeBox, QAction* leadingSearchAction)
{
    if (leadingSearchAction) ToolBar_Bottom->addAction(leadingSearchAction);
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
    ToolBar_Bottom->installEventFilter(this);

    // Tab walks the tree, the range box (tasks) and the search box; the buttons are
    // reached by their menus' access keys. Screen readers get a name for each.
    Btn_Search->setFocusPolicy(Qt::NoFocus);
    m_tree->setTabKeyNavigation(false);
    m_tree->setAccessibleName(m_traits.accessibleName);
    Edt_Search->setAccessibleName(ftr("Input search string"));
    Btn_Search->setAccessibleName(ftr("Clear search"));
    QWidget* previous = m_tree;
    if (rangeBox) {
        rangeBox->setAccessibleName(rangeBox->toolTip());
        QWidget::setTabOrder(m_tree, rangeBox);
        previous = rangeBox;
    }
    QWidget::setTabOrder(previous, Edt_Search);
    for (QToolBar* bar : {ToolBar_Top, ToolBar_Bottom})
        for (QAction* a : bar->actions())
            if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(a))) {
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
        if (QMenu* menu = n ? m_nodeMenu : m_nullMenu) menu->popup(pos);
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
    e.DragAllowed = [](TZvNode*) { return true; };
    e.DragOver = [this](TZvNode* n) { return onDragOver(n); };
    e.DragDrop = [this](TZvNode* n) { onDragDrop(n); };
    e.FreeNode = [this](TZvNode* n) {
        m_pendingRemoval.remove(n);
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
    ResetSearchBox();
    InitDone();
    m_tree->setEmptySpaceHint(m_traits.treeHint);
    ShowRandomStatusTip();
    m_initDone = true;
}

void TZvItemFrame::SetActionSets(const QList<QAction*>& all, const QList<QAction*>& idle,
                                 const QList<QAction*>& selection, const QList<QMenu*>& moveMenus)
{
    m_allActions = all;
    m_idleActions = idle;
    m_selectionActions = selection;
    m_moveMenus = moveMenus;
}

void TZvItemFrame::UpdateActions()
{
    for (QAction* a : std::as_const(m_allActions))
        a->setEnabled(false);
    RebuildMoveMenus(m_moveMenus);
    const bool idle = !editNode;
    TZvNode* first = idle ? m_tree->firstSelected() : nullptr;
    if (idle) {
        for (QAction* a : std::as_const(m_idleActions))
            a->setEnabled(true);
        if (first)
            for (QAction* a : std::as_const(m_selectionActions))
                a->setEnabled(true);
    }
    UpdateFrameActions(idle, first);
}

bool TZvItemFrame::Passes(TZvNode* node, bool searching) const
{
    if (!searching) return true;
    if (m_searchMatcher.indexIn(*Item(node).content) >= 0) return true;
    return node->level() > 0 && WideSearch() && m_searchMatcher.indexIn(*Item(node->parent()).content) >= 0;
}

void TZvItemFrame::Filter()
{
    hotNode = nullptr;
    const bool searching = searchActive && !searchText.isEmpty();
    // Prepared once for the whole tree: tens of thousands of items are matched per keystroke.
    m_searchMatcher.setPattern(searchText);
    m_tree->beginUpdate();
    {
        const auto done = ScopeExit([t = m_tree] { t->endUpdate(); });
        // Each item before its sub-items; a shown sub-item shows (and, searching, expands)
        // its parent.
        for (TZvNode* top = m_tree->firstTopLevel(); top; top = m_tree->nextSibling(top)) {
            m_tree->setVisible(top, Passes(top, searching));
            for (int i = 0, count = top->childCount(); i < count; ++i) {
                TZvNode* child = top->child(i);
                const bool shown = Passes(child, searching);
                m_tree->setVisible(child, shown);
                if (shown) {
                    if (!m_tree->isVisible(top)) m_tree->setVisible(top, true);
                    if (searching) m_tree->setExpanded(top, true);
                }
            }
        }
    }
    ShowTip(searchActive && m_tree->visibleCount() == 0 ? m_traits.searchTipKind : 0);
    Filtered();
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
    if (!m_tree->isVisible(parent)) m_tree->setVisible(parent, true);
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
    const QString question = ftr("Are you sure you want to delete ") +
                             (selected.size() == 1 ? m_traits.deleteOne : m_traits.deleteMany);
    if (MsgAsk(question) != IdOk) return;
    for (TZvNode* f : selected) {
        DeleteRows(f);
        if (f->level() == 0) m_tree->deleteChildren(f);
    }
    m_tree->deleteSelected();
    Filter();
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

void TZvItemFrame::onSelectionChange(TZvNode* node)
{
    if (!node) {
        ShowRandomStatusTip();
        return;
    }
    StatusImage->hide();
    ZvStatusBar1->setPanelText(1, StatusText(node));
}

QAction* TZvItemFrame::MakeAction(const QString& caption, const QString& hint, int image,
                                  std::function<void()> run, Guard guard)
{
    auto* a = new QAction(caption, this);
    if (!hint.isEmpty()) a->setToolTip(hint);
    if (image >= 0) a->setIcon(ZvImage(m_traits.images16, image));
    if (run)
        connect(a, &QAction::triggered, this, [this, run = std::move(run), guard] {
            Guarded([&] {
                if (guard == Guard::Idle && (Busy() || editNode)) return;
                run();
            });
        });
    return a;
}

void TZvItemFrame::makeCommands()
{
    using C = TZvCommand;
    const auto make = [this](C c, std::function<void()> run, Guard guard = Guard::Idle) {
        const TZvCommandText& t = m_traits.commands[std::size_t(c)];
        QAction* a = MakeAction(t.caption, t.hint, t.image, std::move(run), guard);
        m_commands[std::size_t(c)] = a;
        return a;
    };
    make(C::Add, [this] { AddItemExecute(); });
    make(C::AddChild, [this] { AddChildExecute(); });
    make(C::Edit, [this] { EditExecute(); });
    make(C::Delete, [this] { DeleteExecute(); });
    make(C::Move, nullptr); // carries no target of its own: its submenu does
    // Copy, Paste, selecting and the view stay usable during an edit.
    make(
        C::Copy, [this] { CopyExecute(); }, Guard::None);
    make(
        C::Paste, [this] { PasteExecute(); }, Guard::None);
    Action_SelectAll = make(
        C::SelectAll, [this] { SelectAllExecute(); }, Guard::None);
    Action_Deselect = make(
        C::Deselect, [this] { DeselectExecute(); }, Guard::None);
    Action_ViewAsc = make(
        C::Sort, [this] { SortExecute(); }, Guard::None);
    Action_ViewList = make(
        C::ListView, [this] { ViewListExecute(); }, Guard::None);
    Action_ViewList->setCheckable(true);
    Action_ExpandAll = make(C::ExpandAll, [this] { ExpandAllExecute(true); });
    Action_CollapseAll = make(C::CollapseAll, [this] { ExpandAllExecute(false); });
    // Export stays enabled during an edit, yet refuses to run: its dialog would take the
    // focus from the editor and so store the half-typed text.
    Action_Export = make(C::Export, [this] { Action_ExportExecute(); });
    Action_Email = make(C::Email, [this] { EmailExecute(); });
    Action_Save = make(C::Save, [this] { SaveExecute(false); });
    Action_SaveAll = make(C::SaveAll, [this] { SaveExecute(true); });
    Action_Print = make(C::Print, [this] { PrintExecute(); });
}

std::tuple<QAction*, QAction*, QAction*, QAction*, QAction*, QAction*, QAction*>
TZvItemFrame::OwnNamedCommands() const
{
    using C = TZvCommand;
    const auto c = [this](C which) { return m_commands[std::size_t(which)]; };
    return {c(C::Add), c(C::AddChild), c(C::Edit), c(C::Delete), c(C::Move), c(C::Copy), c(C::Paste)};
}

QMenu* TZvItemFrame::FileMenu(QAction* exportAction, QAction* saveAll, QAction* print)
{
    const TZvSharedActions shared = m_host->sharedActions();
    auto* file = new QMenu(ftr("&File"), this);
    const auto add = [file](QAction* a) {
        if (a) file->addAction(a);
    };
    add(shared.Options);
    file->addSeparator();
    add(shared.DbBackup);
    add(shared.DbRestore);
    file->addSeparator();
    add(exportAction);
    add(shared.Import);
    file->addSeparator();
    add(saveAll);
    add(print);
    file->addSeparator();
    add(shared.StayOnTop);
    file->addSeparator();
    add(shared.UiClose);
    // Wayland: a greyed "Stay on top" says why when the pointer rests on it.
    if (OnWayland()) file->setToolTipsVisible(true);
    return file;
}

QMenu* TZvItemFrame::EditMenu(QAction* copy, QAction* paste, QAction* selectAll, QAction* deselect)
{
    auto* edit = new QMenu(ftr("&Edit"), this);
    edit->addAction(copy);
    edit->addAction(paste);
    edit->addSeparator();
    edit->addAction(selectAll);
    edit->addAction(deselect);
    return edit;
}

QMenu* TZvItemFrame::HelpMenu()
{
    const TZvSharedActions shared = m_host->sharedActions();
    auto* help = new QMenu(ftr("&Help"), this);
    for (TZvHelpItem item : std::as_const(m_traits.helpItems)) {
        if (item == TZvHelpItem::Separator) {
            help->addSeparator();
            continue;
        }
        if (QAction* a = shared.help(item)) help->addAction(a);
    }
    return help;
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
    case Qt::Key_F12:
        if (!ctrl) return false;
        if (TZvTrayIcon* tray = m_host->trayIcon()) tray->Minimize();
        return true;
    default:
        return false;
    }
}

// ---- display ----------------------------------------------------------------------------------

QString TZvItemFrame::NodeText(TZvNode* node) const
{
    if (Item(node).content->isEmpty() && node != editNode) return ftr("Input content here");
    const QString text = DisplayText(node);
    if (ListViewOn() && node != editNode) return ListViewText(node, text);
    return text;
}

QString TZvItemFrame::DisplayText(TZvNode* node) const
{
    return *Item(node).content;
}

void TZvItemFrame::PaintNodeText(TZvNode* node, QFont& font, QColor& color) const
{
    if (node != editNode && Item(node).content->isEmpty()) {
        color = ZvSystemColor(kGrayText);
        font.setItalic(true);
    }
}

QString TZvItemFrame::ListViewText(TZvNode* node, const QString& text) const
{
    const QString body = node == hotNode ? text : SingleLine(text);
    if (node->level() > 0)
        return QStringLiteral("(%1)").arg(node->index() + 1) + m_traits.subNumberSuffix + body;
    return QStringLiteral("%1. ").arg(node->index() + 1) + body;
}

int TZvItemFrame::MeasureNode(TZvNode* node) const
{
    const int line = m_tree->textHeight(node, QStringLiteral("l"));
    int h;
    if (ListViewOn() && node != hotNode && node != editNode)
        h = m_tree->textHeight(node, QStringLiteral("1")) + 4;
    else
        h = m_tree->textHeight(node, QString()) + 4;
    if (node == editNode) {
        h = std::max(h, 4 * line + 4);
        h = std::min(h, m_tree->viewport()->height() - line);
    } else {
        h = std::max(h, line + 4);
    }
    return h;
}

void TZvItemFrame::PaintBackground(TZvNode* node, QPainter* painter, const QRect& rect, int ownColor) const
{
    if (node == editNode) return;
    if (node == m_tree->hotNode()) {
        painter->fillRect(rect, ZvSystemColor(kInfoBackground));
        return;
    }
    if (ownColor != 0) {
        painter->fillRect(rect, ZvSystemColor(ownColor));
        return;
    }
    HostPicture which = HostPicture::GroupBackground;
    if (node->level() == 0)
        which = node->index() % 2 == 0 ? HostPicture::ItemBackground0 : HostPicture::ItemBackground1;
    const QPixmap& picture = m_host->picture(which);
    if (!picture.isNull()) painter->drawPixmap(rect, picture);
}

void TZvItemFrame::onHotChange(TZvNode* node)
{
    if (!ListViewOn()) return;
    Timer_HotDelay->stop();
    if (node) Timer_HotDelay->start();
}

void TZvItemFrame::onHotDelay()
{
    Timer_HotDelay->stop();
    TZvNode* current = m_tree->hotNode();
    if (current == hotNode) return;
    TZvNode* former = hotNode;
    hotNode = current;
    if (hotNode) m_tree->invalidateNode(hotNode);
    if (former) m_tree->invalidateNode(former);
}

// ---- tip panel and status bar ------------------------------------------------------------------

void TZvItemFrame::ShowTip(int kind)
{
    if (kind == 0 && m_tree->visibleCount() == 0) kind = m_traits.emptyTipKind;
    tipKind = kind;
    if (kind <= 0) {
        Panel_tip->hide();
        label_tip->clear();
        return;
    }
    label_tip->setText(m_traits.tipTexts.value(kind));
    const int icon = m_traits.tipIcons.value(kind, -1);
    Image_Tip->setPixmap(icon >= 0 ? ZvPixmap(m_traits.images16, icon, 16) : QPixmap());
    Panel_tip->show();
    relayoutTip();
}

void TZvItemFrame::relayoutTip()
{
    if (!Panel_tip->isVisible() && !Panel_tip->isVisibleTo(this)) return;
    // A panel laid out while hidden still has its old width: the frame's is the one it gets.
    const int panelWidth = Panel_tip->isVisible() ? Panel_tip->width() : width();
    const int labelWidth = std::max(40, panelWidth - label_tip->x() - 4);
    label_tip->setFixedWidth(labelWidth);
    // Measured from the text itself: the label's own height-for-width keeps what its last
    // fixed height allowed.
    const int height = label_tip->fontMetrics()
                           .boundingRect(QRect(0, 0, labelWidth, 100000), Qt::TextWordWrap | Qt::AlignLeft,
                                         label_tip->text())
                           .height();
    label_tip->setFixedHeight(height);
    Panel_tip->setFixedHeight(height + 8);
}

void TZvItemFrame::ShowRandomStatusTip()
{
    StatusImage->show();
    const QStringList& tips = statusTips();
    ZvStatusBar1->setPanelText(1, tips.at(int(QRandomGenerator::global()->bounded(tips.size()))));
}

// ---- search box ------------------------------------------------------------------------------------

QString TZvItemFrame::Trimmed(const QString& text) const
{
    return TrimBoth(text);
}

void TZvItemFrame::ResetSearchBox()
{
    searchActive = false;
    QPalette p = Edt_Search->palette();
    p.setColor(QPalette::Text, ZvSystemColor(kGrayText));
    Edt_Search->setPalette(p);
    Edt_Search->setText(ftr("  Search..."));
    Btn_Search->setIcon(ZvImage(m_traits.images16, m_traits.searchIdleImage));
    Btn_Search->setToolTip(QString());
}

void TZvItemFrame::searchEnter()
{
    if (searchActive) return;
    Edt_Search->clear();
    QPalette p = Edt_Search->palette();
    p.setColor(QPalette::Text, ZvSystemColor(kWindowText));
    Edt_Search->setPalette(p);
    searchActive = true;
    Btn_Search->setIcon(ZvImage(m_traits.images16, m_traits.searchActiveImage));
    Btn_Search->setToolTip(ftr("Clear search"));
}

void TZvItemFrame::searchExit()
{
    if (!Trimmed(Edt_Search->text()).isEmpty()) return;
    ResetSearchBox();
}

void TZvItemFrame::searchChange(const QString& text)
{
    searchText = Trimmed(text);
    // Before the first load there is nothing to filter, and no query may run yet.
    if (m_loadedOnce) Filter();
}

void TZvItemFrame::searchButton()
{
    if (searchActive) {
        Edt_Search->clear();
        searchExit();
        Filter();
        m_tree->setFocus();
    } else {
        Edt_Search->setFocus();
    }
}

void TZvItemFrame::layoutSearchBar()
{
    Edt_Search->setFixedWidth(std::max(40, SearchBoxWidth()));
}

bool TZvItemFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Edt_Search) {
        if (event->type() == QEvent::FocusIn)
            Guarded([this] { searchEnter(); });
        else if (event->type() == QEvent::FocusOut)
            Guarded([this] { searchExit(); });
        else if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape) {
                Guarded([this] { searchButton(); });
                return true;
            }
            if (key->key() == Qt::Key_A && (key->modifiers() & Qt::ControlModifier)) {
                Edt_Search->selectAll();
                return true;
            }
        }
    } else if (watched == label_tip && event->type() == QEvent::MouseButtonRelease) {
        const int kind = tipKind;
        Guarded([this, kind] { tipClicked(kind); });
        return true;
    } else if (watched == Panel_tip && event->type() == QEvent::Resize) {
        relayoutTip();
    } else if (watched == ToolBar_Bottom && event->type() == QEvent::Resize) {
        layoutSearchBar();
    }
    return TZvFrame::eventFilter(watched, event);
}

void TZvItemFrame::resizeEvent(QResizeEvent* event)
{
    TZvFrame::resizeEvent(event);
    layoutSearchBar();
    relayoutTip();
}

// A tip shown while the tab was hidden was measured at the hidden frame's width.
void TZvItemFrame::showEvent(QShowEvent* event)
{
    TZvFrame::showEvent(event);
    // ... and the tab's page gets its size only once shown: measure again after that.
    QMetaObject::invokeMethod(
        this, [this] { relayoutTip(); }, Qt::QueuedConnection);
}

// ---- sort, selection, clipboard -------------------------------------------------------------

int TZvItemFrame::CompareContent(const QString& a, const QString& b)
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        ushort x = a.at(i).unicode();
        ushort y = b.at(i).unicode();
        if (x >= 'a' && x <= 'z') x = ushort(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = ushort(y - 'a' + 'A');
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::vector<TZvNode*> TZvItemFrame::SelectedInTreeOrder() const
{
    return m_tree->selectedNodes();
}

QString TZvItemFrame::SelectionText() const
{
    QString text;
    for (TZvNode* n : m_tree->selectedNodes()) {
        if (!text.isEmpty()) text += QLatin1Char('\r');
        text += *Item(n).content;
    }
    return text;
}

void TZvItemFrame::CopyExecute()
{
    const QString text = SelectionText();
    if (!text.isEmpty()) ClipboardSeam::setText(text);
}

void TZvItemFrame::SelectAllExecute()
{
    m_tree->setFocus();
    m_tree->selectAllVisible();
}

void TZvItemFrame::DeselectExecute()
{
    m_tree->clearNodeSelection();
}

void TZvItemFrame::ExpandAllExecute(bool expand)
{
    for (TZvNode* n = m_tree->firstTopLevel(); n; n = m_tree->nextSibling(n))
        m_tree->setExpanded(n, expand);
}

void TZvItemFrame::SortExecute()
{
    sortAscending = !sortAscending;
    ShowSortDirection();
    m_tree->sortTree(sortAscending);
    TIniFile(m_host->confFile()).WriteBool(m_traits.iniSection, QStringLiteral("viewAscEn"), sortAscending);
}

void TZvItemFrame::ShowSortDirection()
{
    if (!Action_ViewAsc) return;
    // The button names the direction a click switches to.
    if (sortAscending) {
        Action_ViewAsc->setIcon(ZvImage(m_traits.images16, m_traits.sortAscendingImage));
        Action_ViewAsc->setToolTip(ftr("Descending Sort"));
    } else {
        Action_ViewAsc->setIcon(ZvImage(m_traits.images16, m_traits.sortDescendingImage));
        Action_ViewAsc->setToolTip(ftr("Ascending Sort"));
    }
}

// ---- expanded state and moving -----------------------------------------------------------

void TZvItemFrame::StoreExpandFlag(TZvNode* node, bool expanded)
{
    // A load expands nodes to their stored state: nothing to store, nothing to update.
    if (m_loading) return;
    const TZvItemRef r = Item(node);
    if (*r.expandFlag != expanded) {
        *r.expandFlag = expanded;
        // A node never stored has no row to remember it in.
        if (!r.id->isEmpty()) StoreExpanded(node, expanded);
    }
    UpdateActions();
}

bool TZvItemFrame::CanMoveUnder(TZvNode* node, TZvNode* target) const
{
    if (!target) return true;
    // Under itself it would vanish.
    return node != target && MayGoUnderAnItem(node);
}

bool TZvItemFrame::MayGoUnderAnItem(const TZvNode* node)
{
    // An item with sub-items under another item would make a third level that the next
    // start does not load.
    return node->childCount() == 0;
}

std::vector<TZvNode*> TZvItemFrame::ItemMovers() const
{
    std::vector<TZvNode*> movers;
    for (TZvNode* s = m_tree->firstSelected(); s && movers.size() < 2; s = m_tree->nextSelected(s))
        if (MayGoUnderAnItem(s)) movers.push_back(s);
    return movers;
}

bool TZvItemFrame::MovesSomething(TZvNode* target, const std::vector<TZvNode*>& movers) const
{
    // To the top level every selected item goes: the caller has one.
    if (!target) return true;
    return std::any_of(movers.begin(), movers.end(), [&](TZvNode* s) { return CanMoveUnder(s, target); });
}

bool TZvItemFrame::onDragOver(TZvNode* node)
{
    if (!node) return true;
    TZvNode* first = m_tree->firstSelected();
    if (node == first) return false;
    TZvNode* target = node->level() > 0 ? node->parent() : node;
    if (first && !CanMoveUnder(first, target)) return false;
    if (node->level() == 0) m_tree->setExpanded(node, true);
    return true;
}

void TZvItemFrame::onDragDrop(TZvNode* node)
{
    if (Busy() || editNode) return;
    TZvNode* target = node && node->level() > 0 ? node->parent() : node;
    MoveSelection(target, false);
}

void TZvItemFrame::MoveSelection(TZvNode* target, bool toFront)
{
    const std::vector<TZvNode*> moving = m_tree->selectedNodes();
    for (TZvNode* s : moving) {
        if (!CanMoveUnder(s, target)) continue; // stays where it is
        const TZvItemRef r = Item(s);
        if (target) {
            if (toFront)
                m_tree->moveToFirstChild(s, target);
            else
                m_tree->moveToLastChild(s, target);
            m_tree->setExpanded(target, true);
            *r.pid = *Item(target).id;
        } else {
            if (toFront)
                m_tree->moveToFirstChild(s, nullptr);
            else
                m_tree->moveToLastChild(s, nullptr);
            *r.pid = kRootId;
        }
        StorePid(s);
        m_tree->setSelected(s, false);
    }
}

void TZvItemFrame::RebuildMoveMenus(const QList<QMenu*>& menus)
{
    // Emptied and enabled here; the items themselves are made when a menu opens, so a
    // selection change stays cheap with thousands of top-level items.
    for (QMenu* m : menus) {
        m->clear();
        m->setEnabled(false);
        if (!m->property("zvMoveMenu").toBool()) {
            m->setProperty("zvMoveMenu", true);
            connect(m, &QMenu::aboutToShow, this, [this, m] { Guarded([this, m] { fillMoveMenu(m); }); });
        }
    }
    TZvNode* first = m_tree->firstSelected();
    if (!first || editNode) return;
    // Enabled when one of its entries would move something ("Root" always does).
    bool moves = first->level() > 0;
    const std::vector<TZvNode*> movers = moves ? std::vector<TZvNode*>() : ItemMovers();
    for (TZvNode* p = m_tree->firstTopLevel(); p && !moves && !movers.empty(); p = m_tree->nextSibling(p))
        moves = p != first && MovesSomething(p, movers);
    for (QMenu* m : menus)
        m->setEnabled(moves);
}

QList<TZvItemFrame::MoveTarget> TZvItemFrame::MoveTargets() const
{
    QList<MoveTarget> targets;
    TZvNode* first = m_tree->firstSelected();
    if (!first) return targets;
    const std::vector<TZvNode*> movers = ItemMovers();
    if (first->level() > 0) targets.append({ftr("Root"), nullptr, false, true});
    for (TZvNode* p = m_tree->firstTopLevel(); p; p = m_tree->nextSibling(p)) {
        if (p == first || p == first->parent()) continue;
        targets.append({*Item(p).content, p, false, MovesSomething(p, movers)});
    }
    if (first->level() > 0) targets.insert(1, {QStringLiteral("-"), nullptr, true, false});
    return targets;
}

void TZvItemFrame::fillMoveMenu(QMenu* menu)
{
    if (!menu->isEmpty()) return;
    for (const MoveTarget& t : MoveTargets()) {
        if (t.separator) {
            menu->addSeparator();
            continue;
        }
        // A caption is one line, and "&" in a text is no access key.
        QString caption = SingleLine(t.caption);
        caption.replace(QLatin1Char('&'), QLatin1String("&&"));
        QAction* a = menu->addAction(caption);
        a->setEnabled(t.enabled);
        TZvNode* target = t.node;
        connect(a, &QAction::triggered, this, [this, target] {
            Guarded([this, target] {
                if (!editNode && !Busy()) MoveSelection(target, true);
            });
        });
    }
}

} // namespace zv
