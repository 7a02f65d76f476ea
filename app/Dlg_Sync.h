#pragma once

#include "sync/ZvSyncSettings.h"
#include "sync/ZvSyncState.h"

#include <QDialog>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace zv {

class TZvSyncController;
class TZvDavClient;

// "Sync", reached from Options: the server's address, the user name and password, Connect
// (which lists the server's task lists and journals), the collection for tasks and for
// memos (or a new one), the interval, on or off, Sync Now and the sync log. OK keeps the
// settings in zvConf.ini and the password in the secret store, never in the file.
class TSyncDlg : public QDialog
{
    Q_OBJECT
public:
    TSyncDlg(TZvSyncController* controller, const QString& confFile, QWidget* parent = nullptr);
    ~TSyncDlg() override;

    QLineEdit* edt_Url = nullptr;
    QLineEdit* edt_User = nullptr;
    QLineEdit* edt_Password = nullptr;
    QPushButton* Btn_Connect = nullptr;
    QComboBox* Comb_Tasks = nullptr;
    QComboBox* Comb_Memos = nullptr;
    QSpinBox* spin_Interval = nullptr;
    QCheckBox* cb_Enabled = nullptr;
    QLabel* lbl_State = nullptr;
    QPushButton* Btn_SyncNow = nullptr;
    QPushButton* Btn_Log = nullptr;
    QPushButton* Btn_Ok = nullptr;
    QPushButton* Btn_Cancel = nullptr;

    // OK: the settings stored (false, and the dialog stays, when the user turned back).
    bool Store();
    void accept() override;
    // Connect: the server's collections into the two lists.
    void Connect();

private:
    TZvSyncConfig configOfFields() const;
    void fillCollections(const TZvDavDiscovery& found);
    void showLastResult();

    TZvSyncController* m_controller;
    QString m_confFile;
    TZvSyncConfig m_config;
    QUrl m_home;
    std::unique_ptr<TZvDavClient> m_client;
};

// The last syncs: when, how many items went up and down, conflicts, and what failed.
class TSyncLogDlg : public QDialog
{
    Q_OBJECT
public:
    TSyncLogDlg(const std::vector<TZvSyncLogEntry>& entries, QWidget* parent = nullptr);
    QTableWidget* Grid = nullptr;
};

} // namespace zv
