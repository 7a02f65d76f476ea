#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

namespace zv {

class TcommonDm;

// "Zorvik Update": offers the maker's web page. Closes by itself as No after five
// seconds, whatever the user is doing; "Do not ask me again." takes effect at each click.
class TupdateDlg : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 5000;
    // The results of done(): Yes and No, as the message boxes number them.
    static constexpr int kYes = 6;
    static constexpr int kNo = 7;

    TupdateDlg(TcommonDm* common, QWidget* parent = nullptr, int timeoutMs = kTimeoutMs);

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QPushButton* btn_Yes = nullptr;
    QPushButton* Button2 = nullptr;
    QCheckBox* cb_ask = nullptr;
    QTimer* Timer1 = nullptr; // running from creation

    void btn_YesClick();
    void cb_askClick();
    void Timer1Timer();

private:
    TcommonDm* m_common;
};

} // namespace zv
