#pragma once

#include <QObject>
#include <QString>

class QProgressDialog;
class QWidget;

namespace zv {

// True while a backup, restore or import runs (its file choice, its questions and its
// progress dialog included). The frames' commands, the tray's Add, Paste and Exit and the
// reminder timer check it and hold off, since the progress dialog lets events through.
bool IoBusy();

// Tells when IoBusy changes, for whoever prefers to disable commands meanwhile.
class TIoBusyNotifier : public QObject
{
    Q_OBJECT
public:
    static TIoBusyNotifier* instance();
    // Asks the running operation to stop as if its Cancel were pressed (Exit, session end).
    static void requestCancel();
    static bool cancelRequested();
signals:
    void busyChanged(bool busy);
};

// Marks the running operation; nests.
class TIoBusyScope
{
public:
    TIoBusyScope();
    ~TIoBusyScope();
    TIoBusyScope(const TIoBusyScope&) = delete;
    TIoBusyScope& operator=(const TIoBusyScope&) = delete;
};

// The progress of a long exchange operation: a modal progress dialog with Cancel that
// appears only once the work has run for about a second. Cancel acts as Abort.
class TIoProgress
{
public:
    TIoProgress(QWidget* parent, const QString& label, int total);
    ~TIoProgress();
    TIoProgress(const TIoProgress&) = delete;
    TIoProgress& operator=(const TIoProgress&) = delete;

    // One more unit done; returns false once the user has cancelled.
    bool step();
    // The number of units, once it is known better than at the start.
    void setTotal(int total);
    // True when the next step lets events through (the caller commits what it posted).
    bool yieldsOnNextStep() const;
    // Before a question of our own: the progress dialog steps aside (and does not pop up
    // over the question); it comes back with the next step.
    void suspend();

private:
    QProgressDialog* m_dialog = nullptr;
    int m_done = 0;
    int m_total = 0;
    bool m_cancelled = false;
};

} // namespace zv
