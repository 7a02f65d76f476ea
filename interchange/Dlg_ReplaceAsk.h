#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zv {

// "Confirm Replace": asks whether an existing item is to be replaced by the incoming one.
// Its result is the button's code: Yes 6, All 10, No 7, Abort 3; Esc or the window frame
// close it with 0, which the caller treats as No.
class TReplaceAskDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TReplaceAskDlg(QWidget* parent = nullptr);

    QLabel* Label_Caption;
    QLabel* Label_oldTitle;
    QLabel* Label_oldTime;
    QLabel* Label2;
    QLabel* Label_newTitle;
    QLabel* Label_newTime;
    QPushButton* Button1; // &Yes
    QPushButton* Button4; // &All
    QPushButton* Button2; // &No
    QPushButton* Button3; // A&bort
};

} // namespace zv
