#pragma once

#include "ZvTestSupport.h"
#include "frames/ZvFrame.h"

#include <QPixmap>
#include <QWidget>
#include <memory>

namespace zv {
class TZvTrayIcon;
}

namespace zvtest {

// A window that hosts one frame in a test, standing in for the main window.
class TestFrameHost : public zv::TZvFrameHost
{
public:
    explicit TestFrameHost(TempProgramFolder& folder);
    ~TestFrameHost() override;

    QString confFile() const override { return m_folder.iniPath(); }
    QString programFolder() const override { return m_folder.path(); }
    QString alarmSound() const override { return m_folder.path() + QStringLiteral("Sounds/Alarm.wav"); }
    QString appVersion() const override { return QStringLiteral("1.0.0.1"); }
    int hintSize() const override { return m_hintSize; }
    const QPixmap& picture(zv::HostPicture) const override { return m_picture; }
    zv::TADOConnection& connection() override { return m_folder.connection(); }
    zv::TZvTrayIcon* trayIcon() const override { return m_tray; }
    void setTaskCounts(int privateTasks, int publicTasks) override
    {
        privateCount = privateTasks;
        publicCount = publicTasks;
    }
    void setMemoCounts(int privateMemos, int publicMemos) override
    {
        privateCount = privateMemos;
        publicCount = publicMemos;
    }
    void installMenus(zv::TZvFrame*) override { ++menuInstalls; }
    zv::TZvSharedActions sharedActions() const override { return {}; }
    QWidget* window() const override { return m_window.get(); }
    bool busy() const override { return isBusy; }
    QPrinter& printer() override;

    QWidget* hostWindow() const { return m_window.get(); }

    int m_hintSize = 20;
    int privateCount = -1;
    int publicCount = -1;
    int menuInstalls = 0;
    bool isBusy = false;

private:
    TempProgramFolder& m_folder;
    std::unique_ptr<QWidget> m_window;
    zv::TZvTrayIcon* m_tray = nullptr;
    QPixmap m_picture;
    std::unique_ptr<QPrinter> m_printer;
};

} // namespace zvtest
