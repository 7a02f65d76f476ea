#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace zv {

class TcommonDm;

// "Options": start with the desktop session, run minimised, add a new item on every show.
// Filled from the values in force for this run; OK stores them, Cancel changes nothing.
// "Sync..." opens the sync's own dialog, which stores its settings itself.
class TOptionsDlg : public QDialog
{
    Q_OBJECT
public:
    TOptionsDlg(TcommonDm* common, QWidget* parent = nullptr);

    QCheckBox* cb_AutoStart = nullptr;
    QCheckBox* cb_AutoMinimized = nullptr;
    QCheckBox* cb_AddOpen = nullptr;
    QPushButton* Btn_Sync = nullptr;
    QPushButton* Btn_Ok = nullptr;
    QPushButton* Button2 = nullptr;

    // OK: the fields and the options from the boxes, then the autostart entry.
    void accept() override;

private:
    void Apply();

    TcommonDm* m_common;
};

} // namespace zv
