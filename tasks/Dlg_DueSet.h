#pragma once

#include "store/ZvDateTime.h"

#include <QDialog>

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;

namespace zv {

// "Set Due Date": the due date of the selected tasks. The caller sets dueFlag and dueTime
// before exec() and reads them after OK. The due date counts by calendar day; the time of
// day kept with it is whatever the picker holds.
class TDueSetDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TDueSetDlg(QWidget* parent = nullptr);

    bool dueFlag = false;
    TDateTime dueTime = 0;

    void FormShow();
    void edt_dueChange();
    void Btn_OkClick();

    QLabel* Image1;
    QCheckBox* cb_due;
    QDateTimeEdit* edt_due; // shows the date only, keeps the time of day
    QPushButton* Btn_Ok;
    QPushButton* Btn_Cancel;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_shown = false;
};

} // namespace zv
