#pragma once

#include "store/ZvDateTime.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zv {

// "Task Reminder": the alarm of one due task. After it closes the caller reads dismissed and
// nextAlarm: dismissed leaves nextAlarm at zero; a snooze sets it to the moment of the
// choice plus the chosen time. However the dialog is closed, it ends as one of the two, so
// a reminder never comes straight back.
class TtaskReminderDlg : public QDialog
{
    Q_OBJECT
public:
    // soundPath: the alarm sound, played once when the dialog shows.
    explicit TtaskReminderDlg(const QString& soundPath, QWidget* parent = nullptr);

    QString text;
    bool dismissed = false;
    TDateTime nextAlarm = 0;

    // The number of snooze choices and the time each adds, in milliseconds. Any index
    // outside the list adds one day.
    static constexpr int kSnoozeCount = 22;
    static qint64 SnoozeOffsetMs(int index);

    void FormShow();
    void btn_snoozeClick();
    void btn_dismissClick();

    QPlainTextEdit* Memo1;
    QLabel* Image1;
    QPushButton* btn_dismiss;
    QLabel* Label1;
    QComboBox* comb_Snooze;
    QPushButton* btn_snooze;

public slots:
    // Esc and the window manager's close snooze with the chosen time.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QString m_soundPath;
    bool m_shown = false;
    bool m_decided = false;
};

} // namespace zv
