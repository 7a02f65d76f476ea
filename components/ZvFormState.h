#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <functional>

class QWidget;

namespace zv {

// Makes a window reopen where the user left it: its normal rectangle and whether it was
// maximised, kept in one section of an INI file. The rectangle is the client area's in
// screen pixels (QWidget::normalGeometry), so that a save and a restore meet exactly
// whatever frame the window manager draws. Right and Bottom are exclusive edges.
//
// On Wayland only the size and the maximised state are applied: the compositor places
// windows, and the position saved on X11 is kept for the next X11 session.
//
// Hooked into the owner: a restore at each of the program's own shows (before the
// owner's own show step) and a save when the window really closes. The owner also calls
// SaveState and RestoreState itself where it needs them.
class TZvFormState : public QObject
{
    Q_OBJECT
public:
    using NotifyEvent = std::function<void(QObject* sender)>;

    explicit TZvFormState(QWidget* owner);
    ~TZvFormState() override;

    bool Enabled() const { return m_enabled; }
    void setEnabled(bool value) { m_enabled = value; }
    QString Section() const { return m_section; }
    void setSection(const QString& value) { m_section = value; }
    QString IniPath() const { return m_iniPath; }
    void setIniPath(const QString& value) { m_iniPath = value; }

    NotifyEvent OnSaveState;
    NotifyEvent OnRestoreState;

    void HookEvents();
    void UnhookEvents();
    void SaveState();
    void RestoreState();

    // A window whose size the user cannot change keeps its size: only its corner is kept.
    static bool IsResizable(const QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Wayland: the compositor places the window.
    void restoreSizeOnly(const QSize& size);

    QPointer<QWidget> m_owner;
    bool m_enabled = true;
    QString m_section;
    QString m_iniPath;
    bool m_hooked = false;
};

} // namespace zv
