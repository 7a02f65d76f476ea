#pragma once

#include "frames/ZvFrame.h"

#include <QList>
#include <optional>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;

namespace zv {

class TZvItemFrame;
struct TZvFrameTraits;

// A value for the to-do list and one for the memo list; a single value serves both.
template <class T> struct TZvEither
{
    TZvEither(T both) : tasks(both), memos(both) {}
    TZvEither(T forTasks, T forMemos) : tasks(forTasks), memos(forMemos) {}
    T of(TZvFrameKind kind) const { return kind == TZvFrameKind::Tasks ? tasks : memos; }

    T tasks;
    T memos;
};

// Where commands stand: the two tool bars, the five menus of the menu bar (in this order)
// and the two pop-up menus of the tree.
enum class TZvBar
{
    ToolBarTop,
    ToolBarBottom,
    FileMenu,
    EditMenu,
    ViewMenu,
    ItemsMenu, // "&Tasks" or "&Memos"
    HelpMenu,
    NodePopup, // over an item
    NullPopup, // over empty space
    Count
};

// A command's place in a bar: the commands of one group stand together, by `order`, and a
// separator stands between two groups.
struct TZvPlace
{
    TZvBar bar;
    int group;
    int order;
};

// Whether a command waits: Idle ones are refused while an edit is under way or an exchange
// operation runs; the others run whenever they are enabled.
enum class TZvGuard
{
    Idle,
    None
};

// The sets UpdateActions enables.
enum class TZvEnabling
{
    Always,    // never disabled
    Idle,      // enabled while no edit is under way
    Selection, // ... and an item is selected
};

enum class TZvCommandKind
{
    Plain,
    Checkable,
    Radio,    // one of the frame's exclusive choices, none of which need be checked
    MoveMenu, // a Move to submenu, filled for the first selected item when it opens
    Host,     // a command of the main window, shown in the frame's menus
};

using TZvHandler = void (TZvItemFrame::*)();

// The handler of a command a frame declares for itself: one of its own members.
template <class Frame> TZvHandler Run(void (Frame::*handler)())
{
    return static_cast<TZvHandler>(handler);
}

// One command, declared once: everything the frame's menus, tool bars and UpdateActions
// know of it. Texts are translated in the frame's context.
struct TZvCommandDecl
{
    TZvEither<const char*> name;              // the object's name, e.g. "Action_TaskAdd"
    TZvEither<const char*> caption = nullptr; // none: no text
    // The caption in the pop-up menus where it differs (another access key there); the
    // command then has an action of its own in them.
    TZvEither<const char*> popupCaption = nullptr;
    TZvEither<const char*> hint = nullptr; // none: no tool tip
    TZvEither<int> image = -1;             // an entry of the frame's image lists; -1 none
    const char* shortcut = nullptr;        // a key of its own, while the frame has the focus
    const char* keys = nullptr; // keys the tree's own key handler runs it by, shown beside the caption
    TZvHandler run = nullptr;   // none: the command has no handler of its own
    TZvGuard guard = TZvGuard::Idle;
    TZvEnabling enabling = TZvEnabling::Idle;
    bool (TZvItemFrame::*available)() const = nullptr; // enabled only while this holds as well
    TZvCommandKind kind = TZvCommandKind::Plain;
    QAction* TZvSharedActions::*host = nullptr;      // the main window's command (kind Host)
    std::optional<TZvFrameKind> only = std::nullopt; // a command of one list only
    std::vector<TZvPlace> places = {};
};

// The commands of one frame made from their declarations: each becomes an action (or a
// Move to submenu) named as declared, the menus and pop-up menus are filled from the
// declared places, and Enable gives each command the state its set calls for.
class TZvCommandSet
{
public:
    TZvCommandSet(TZvItemFrame& frame, const TZvFrameTraits& traits,
                  const std::vector<TZvCommandDecl>& decls);

    // The command, Move to submenu or pop-up menu of that name (null when there is none).
    QAction* Action(const char* name) const;
    QMenu* Menu(const char* name) const;
    QList<QMenu*> MainMenus() const { return m_mainMenus; }
    QMenu* Popup(TZvBar bar) const;
    QList<QMenu*> MoveMenus() const;
    // Puts the bar's commands into a tool bar, in their places.
    void Fill(TZvBar bar, QWidget* toolBar) const;
    // `idle`: no edit is under way; `selected`: an item is selected.
    void Enable(bool idle, bool selected) const;
    // The command's caption followed by `detail` (none: the caption alone), in every menu.
    void SetCaptionDetail(const char* name, const QString& detail) const;

private:
    struct TMade
    {
        const TZvCommandDecl* decl;
        QAction* action; // the menu action of a Move to submenu
        QMenu* menu;     // a Move to submenu, else null
        QAction* popup;  // its action in the pop-up menus when its caption differs there
    };

    QAction* make(const TZvCommandDecl& decl, const char* caption, bool inPopups);
    QString captionText(const TZvCommandDecl& decl, const char* caption, const QString& detail) const;
    void fill(TZvBar bar, QWidget* target) const;

    TZvItemFrame& m_frame;
    const TZvFrameKind m_kind;
    std::vector<TZvCommandDecl> m_decls;
    std::vector<TMade> m_made;
    QActionGroup* m_radios = nullptr;
    QList<QMenu*> m_mainMenus;
    QMenu* m_nodePopup = nullptr;
    QMenu* m_nullPopup = nullptr;
};

} // namespace zv
