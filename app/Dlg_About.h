#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace zv {

class TcommonDm;

// "About...": the program's picture, name and file version, the maker's web address and
// support mail (both clickable), and the notice lines.
class TAboutDlg : public QDialog
{
    Q_OBJECT
public:
    TAboutDlg(TcommonDm* common, QWidget* parent = nullptr);

    QLabel* Image_App = nullptr;
    QLabel* Label_AppName = nullptr;
    QLabel* lbl_version = nullptr;
    QLabel* lbl_web = nullptr;
    QLabel* lbl_support = nullptr;
    QPushButton* Button1 = nullptr;

    // The picture program folder + "Images/appIcon.png", or our own when it is missing.
    static QPixmap AppPicture(const QString& programFolder);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TcommonDm* m_common;
};

} // namespace zv
