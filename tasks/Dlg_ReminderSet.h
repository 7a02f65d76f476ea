#pragma once

#include "store/ZvDateTime.h"

#include <QDialog>

class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QTimeEdit;

namespace zv {

// "Set Reminder": arms, moves or disarms the reminder of the selected tasks. The caller sets
// alarmFlag and alarmTime before exec() and reads them after OK. The warning only informs:
// it never keeps the user from storing a time that has passed.
class TReminderSetDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TReminderSetDlg(QWidget* parent = nullptr);

    bool alarmFlag = false;
    TDateTime alarmTime = 0;

    void FormShow();
    void edt_dateChange();
    void edt_timeChange();
    void cb_reminderClick();
    void btn_okClick();

    // The date of edt_date with the time of day of edt_time.
    TDateTime CombinedTime() const;
    // Shows the warning exactly when the box is checked and the combined time has come.
    void UpdateWarning();

    QCheckBox* cb_reminder;
    QDateEdit* edt_date;
    QTimeEdit* edt_time;
    QLabel* Image_warning;
    QLabel* lbl_warning;
    QPushButton* btn_ok;
    QPushButton* btn_cancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_shown = false;
};

} // namespace zv
