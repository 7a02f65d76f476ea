#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace zv {

// One running instance per user and program folder. The server lives in the abstract
// socket namespace (nothing left behind after a crash); a lock file in the runtime folder
// stands for the named mutex while the first instance is still starting.
class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit TSingleInstance(const QString& title, const QString& programFolder, QObject* parent = nullptr);
    ~TSingleInstance() override;

    static QString ServerName(const QString& title, const QString& programFolder);

    // Asks a running instance to come forward. True when one answered: this process
    // must then end without touching the database.
    bool ActivateRunningInstance();
    // Becomes the running instance (holds the lock, listens for later starts).
    bool Listen();

signals:
    // A later start asked this instance to come forward.
    void activateRequested();

private:
    bool askRunning(int timeoutMs);

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

// The program folder: ZVJ_HOME when set, else the executable's folder; ends with "/".
QString ProgramFolder();

} // namespace zv
