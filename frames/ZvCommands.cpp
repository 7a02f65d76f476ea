#include "frames/ZvCommands.h"

#include "frames/ZvFrameKinds.h"
#include "frames/ZvItemFrame.h"
#include "platform/ZvWindowFront.h"
#include "store/ZvGuard.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QMenu>

#include <algorithm>
#include <cstring>

namespace zv {

namespace {

bool sameName(const char* a, const char* b)
{
    return a && b && std::strcmp(a, b) == 0;
}

} // namespace

TZvCommandSet::TZvCommandSet(TZvItemFrame& frame, const TZvFrameTraits& traits,
                             const std::vector<TZvCommandDecl>& decls)
    : m_frame(frame), m_kind(traits.kind)
{
    for (const TZvCommandDecl& d : decls)
        if (!d.only || *d.only == m_kind) m_decls.push_back(d);
    m_made.reserve(m_decls.size());
    for (const TZvCommandDecl& d : m_decls) {
        QMenu* menu = nullptr;
        QAction* action = nullptr;
        if (d.kind == TZvCommandKind::MoveMenu) {
            menu = new QMenu(FrameText(m_kind, d.caption.of(m_kind)), &frame);
            menu->setObjectName(QString::fromLatin1(d.name.of(m_kind)));
            if (const char* hint = d.hint.of(m_kind)) menu->setToolTip(FrameText(m_kind, hint));
            action = menu->menuAction();
        } else if (d.kind == TZvCommandKind::Host) {
            action = frame.host()->sharedActions().*d.host; // a test host may have none
        } else {
            action = make(d, d.caption.of(m_kind), false);
        }
        QAction* popup = d.popupCaption.of(m_kind) ? make(d, d.popupCaption.of(m_kind), true) : nullptr;
        m_made.push_back({&d, action, menu, popup});
    }

    const auto menu = [&frame](const QString& title, const QString& name) {
        auto* m = new QMenu(title, &frame);
        m->setObjectName(name);
        return m;
    };
    m_mainMenus = {menu(FrameText(m_kind, "&File"), {}), menu(FrameText(m_kind, "&Edit"), {}),
                   menu(FrameText(m_kind, "&View"), {}), menu(traits.itemsMenu, {}),
                   menu(FrameText(m_kind, "&Help"), {})};
    m_nodePopup = menu({}, traits.nodePopup);
    m_nullPopup = menu({}, QStringLiteral("PopupMenu_Null"));
    for (int i = 0; i < m_mainMenus.size(); ++i)
        fill(TZvBar(int(TZvBar::FileMenu) + i), m_mainMenus[i]);
    // Wayland: a greyed "Stay on top" says why when the pointer rests on it.
    if (OnWayland()) m_mainMenus.front()->setToolTipsVisible(true);
    fill(TZvBar::NodePopup, m_nodePopup);
    fill(TZvBar::NullPopup, m_nullPopup);
}

QString TZvCommandSet::captionText(const TZvCommandDecl& d, const char* caption, const QString& detail) const
{
    QString text = FrameText(m_kind, caption);
    if (!detail.isEmpty()) text += QLatin1Char(' ') + detail;
    // After a tab the menu shows the keys in its column of keys.
    if (d.keys)
        text +=
            QLatin1Char('\t') + QKeySequence(QString::fromLatin1(d.keys)).toString(QKeySequence::NativeText);
    return text;
}

QAction* TZvCommandSet::make(const TZvCommandDecl& d, const char* caption, bool inPopups)
{
    auto* a = new QAction(captionText(d, caption, {}), &m_frame);
    a->setObjectName(QString::fromLatin1(d.name.of(m_kind)) +
                     (inPopups ? QStringLiteral("Popup") : QString()));
    if (const char* hint = d.hint.of(m_kind)) a->setToolTip(FrameText(m_kind, hint));
    if (const int image = d.image.of(m_kind); image >= 0)
        a->setIcon(ZvImage(m_frame.traits().images16, image));
    if (d.shortcut && !inPopups) {
        // The tree has the keys of its own commands; a declared key works wherever the
        // frame has the focus, and only there (both frames live in one window).
        a->setShortcut(QKeySequence(QString::fromLatin1(d.shortcut)));
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        m_frame.addAction(a);
    }
    if (d.kind != TZvCommandKind::Plain) a->setCheckable(true);
    if (d.kind == TZvCommandKind::Radio) {
        if (!m_radios) {
            m_radios = new QActionGroup(&m_frame);
            m_radios->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        }
        m_radios->addAction(a);
    }
    if (const TZvHandler run = d.run) {
        TZvItemFrame* frame = &m_frame;
        const bool waits = d.guard == TZvGuard::Idle;
        QObject::connect(a, &QAction::triggered, frame, [frame, run, waits] {
            Guarded([&] {
                if (waits && frame->HeldOff()) return;
                (frame->*run)();
            });
        });
    }
    return a;
}

void TZvCommandSet::fill(TZvBar bar, QWidget* target) const
{
    struct TEntry
    {
        TZvPlace place;
        QAction* action;
    };
    std::vector<TEntry> entries;
    const bool popupMenu = bar == TZvBar::NodePopup || bar == TZvBar::NullPopup;
    for (const TMade& m : m_made)
        for (const TZvPlace& p : m.decl->places)
            if (p.bar == bar && m.action) entries.push_back({p, popupMenu && m.popup ? m.popup : m.action});
    std::stable_sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) {
        return std::pair(a.place.group, a.place.order) < std::pair(b.place.group, b.place.order);
    });
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && entries[i].place.group != entries[i - 1].place.group) {
            auto* separator = new QAction(target);
            separator->setSeparator(true);
            target->addAction(separator);
        }
        target->addAction(entries[i].action);
    }
}

void TZvCommandSet::Fill(TZvBar bar, QWidget* toolBar) const
{
    fill(bar, toolBar);
}

QAction* TZvCommandSet::Action(const char* name) const
{
    for (const TMade& m : m_made)
        if (!m.menu && sameName(m.decl->name.of(m_kind), name)) return m.action;
    return nullptr;
}

QMenu* TZvCommandSet::Menu(const char* name) const
{
    for (const TMade& m : m_made)
        if (m.menu && sameName(m.decl->name.of(m_kind), name)) return m.menu;
    for (QMenu* popup : {m_nodePopup, m_nullPopup})
        if (popup->objectName() == QLatin1String(name)) return popup;
    return nullptr;
}

QMenu* TZvCommandSet::Popup(TZvBar bar) const
{
    return bar == TZvBar::NodePopup ? m_nodePopup : bar == TZvBar::NullPopup ? m_nullPopup : nullptr;
}

QList<QMenu*> TZvCommandSet::MoveMenus() const
{
    QList<QMenu*> menus;
    for (const TMade& m : m_made)
        if (m.menu) menus << m.menu;
    return menus;
}

void TZvCommandSet::Enable(bool idle, bool selected) const
{
    for (const TMade& m : m_made) {
        // The Move to submenus follow the selection's targets (UpdateActions rebuilds them).
        if (m.menu || m.decl->kind == TZvCommandKind::Host || m.decl->enabling == TZvEnabling::Always)
            continue;
        const bool on = idle && (m.decl->enabling == TZvEnabling::Idle || selected) &&
                        (!m.decl->available || (m_frame.*(m.decl->available))());
        m.action->setEnabled(on);
        if (m.popup) m.popup->setEnabled(on);
    }
}

void TZvCommandSet::SetCaptionDetail(const char* name, const QString& detail) const
{
    for (const TMade& m : m_made) {
        if (m.menu || !sameName(m.decl->name.of(m_kind), name)) continue;
        m.action->setText(captionText(*m.decl, m.decl->caption.of(m_kind), detail));
        if (m.popup) m.popup->setText(captionText(*m.decl, m.decl->popupCaption.of(m_kind), detail));
    }
}

} // namespace zv
