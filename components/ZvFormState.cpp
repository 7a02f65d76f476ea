#include "components/ZvFormState.h"

#include "platform/ZvWindowFront.h"
#include "store/ZvError.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/ZvSeams.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace zv {

namespace {
const QString kSaved = QStringLiteral("Saved");
const QString kLeft = QStringLiteral("Left");
const QString kTop = QStringLiteral("Top");
const QString kRight = QStringLiteral("Right");
const QString kBottom = QStringLiteral("Bottom");
const QString kMaximized = QStringLiteral("Maximized");
} // namespace

TZvFormState::TZvFormState(QWidget* owner) : QObject(owner), m_owner(owner)
{
    HookEvents();
}

TZvFormState::~TZvFormState()
{
    UnhookEvents();
}

void TZvFormState::HookEvents()
{
    if (m_hooked || !m_owner) return;
    m_owner->installEventFilter(this);
    m_hooked = true;
}

void TZvFormState::UnhookEvents()
{
    if (!m_hooked) return;
    if (m_owner) m_owner->removeEventFilter(this);
    m_hooked = false;
}

bool TZvFormState::IsResizable(const QWidget* window)
{
    if (window->windowFlags() & Qt::MSWindowsFixedSizeDialogHint) return false;
    return window->minimumSize() != window->maximumSize();
}

bool TZvFormState::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_owner.data()) {
        // Only the program's own shows: minimising and restoring show the window too, and
        // must not move it back to an older place.
        if (event->type() == QEvent::Show && !event->spontaneous())
            Guarded([&] { RestoreState(); });
        else if (event->type() == QEvent::Close)
            Guarded([&] { SaveState(); });
    }
    return QObject::eventFilter(watched, event);
}

void TZvFormState::RestoreState()
{
    if (!m_enabled || !m_owner) return;
    QWidget* window = m_owner;
    const TIniFile ini(m_iniPath);

    const QRect current = window->normalGeometry();
    const int left = ini.ReadInteger(m_section, kLeft, current.x());
    const int top = ini.ReadInteger(m_section, kTop, current.y());
    int right = left + current.width();
    int bottom = top + current.height();
    if (IsResizable(window)) {
        right = ini.ReadInteger(m_section, kRight, right);
        bottom = ini.ReadInteger(m_section, kBottom, bottom);
    }
    QRect wanted(QPoint(left, top), QSize(right - left, bottom - top));
    if (OnWayland()) {
        // The compositor places windows: the size and the maximised state come back, the
        // position is left to it.
        restoreSizeOnly(wanted.size());
        return;
    }
    // The monitor it was on has gone: the window's outer corner goes to the top-left of
    // the primary work area (a frame-inclusive move), keeping the size.
    const bool offScreen = !QGuiApplication::screenAt(wanted.topLeft());
    if (offScreen) {
        const QScreen* primary = QGuiApplication::primaryScreen();
        wanted.moveTopLeft(primary ? primary->availableGeometry().topLeft() : QPoint(0, 0));
    }
    auto place = [&] {
        window->setGeometry(wanted);
        if (offScreen) window->move(wanted.topLeft());
    };

    // Left alone when nothing changes, so that a window never placed keeps the default
    // placement of the window manager.
    if (wanted != current || offScreen) {
        const Qt::WindowStates states = window->windowState();
        const Qt::WindowStates bigger = Qt::WindowMaximized | Qt::WindowFullScreen;
        if (states & bigger) {
            // The normal rectangle of a maximised window is set through the normal state.
            window->setWindowState(states & ~bigger);
            place();
            window->setWindowState(states);
        } else {
            place();
        }
    }
    if (ini.ReadBool(m_section, kMaximized, false))
        window->setWindowState(window->windowState() | Qt::WindowMaximized);

    if (OnRestoreState) OnRestoreState(this);
}

void TZvFormState::restoreSizeOnly(const QSize& size)
{
    QWidget* window = m_owner;
    const TIniFile ini(m_iniPath);
    if (size.isValid() && !size.isEmpty() && size != window->normalGeometry().size()) {
        const Qt::WindowStates states = window->windowState();
        const Qt::WindowStates bigger = Qt::WindowMaximized | Qt::WindowFullScreen;
        if (states & bigger) {
            window->setWindowState(states & ~bigger);
            window->resize(size);
            window->setWindowState(states);
        } else {
            window->resize(size);
        }
    }
    if (ini.ReadBool(m_section, kMaximized, false))
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    if (OnRestoreState) OnRestoreState(this);
}

void TZvFormState::SaveState()
{
    if (!m_enabled || !m_owner) return;
    QWidget* window = m_owner;
    TIniFile ini(m_iniPath);
    QRect normal = window->normalGeometry();
    if (OnWayland()) {
        // A Wayland client never learns where its window is: the corner saved on X11 stays,
        // and the size is kept from it.
        normal.moveTopLeft(QPoint(ini.ReadInteger(m_section, kLeft, normal.x()),
                                  ini.ReadInteger(m_section, kTop, normal.y())));
    }
    try {
        ini.WriteBool(m_section, kMaximized, window->isMaximized());
        ini.WriteInteger(m_section, kLeft, normal.x());
        ini.WriteInteger(m_section, kTop, normal.y());
        if (IsResizable(window)) {
            ini.WriteInteger(m_section, kRight, normal.x() + normal.width());
            ini.WriteInteger(m_section, kBottom, normal.y() + normal.height());
        }
        ini.WriteBool(m_section, kSaved, true);
    } catch (const EZvError& e) {
        // A settings file that cannot be written must not stop the window from hiding or
        // closing: say so and go on.
        MessageSeam::show({tr("Error"), e.message(), MsgIcon::Error, MsgButtons::Ok});
    }
    if (OnSaveState) OnSaveState(this);
}

} // namespace zv
