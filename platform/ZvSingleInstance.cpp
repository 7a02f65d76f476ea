#include "platform/ZvSingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <unistd.h>

namespace zv {

namespace {
const QByteArray kActivate = "activate\n";
const QByteArray kDone = "ok\n";
} // namespace

QString ProgramFolder()
{
    QString folder = qEnvironmentVariable("ZVJ_HOME");
    if (folder.isEmpty()) folder = QCoreApplication::applicationDirPath();
    folder = QDir::fromNativeSeparators(QDir(folder).absolutePath());
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder;
}

QString TSingleInstance::ServerName(const QString& title, const QString& programFolder)
{
    const QByteArray hash =
        QCryptographicHash::hash(QDir(programFolder).absolutePath().toUtf8(), QCryptographicHash::Sha1)
            .toHex()
            .left(12);
    QString base = title;
    base.replace(QLatin1Char(' '), QLatin1Char('-'));
    return QStringLiteral("%1-%2-%3").arg(base).arg(getuid()).arg(QString::fromLatin1(hash));
}

TSingleInstance::TSingleInstance(const QString& title, const QString& programFolder, QObject* parent)
    : QObject(parent), m_name(ServerName(title, programFolder))
{
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (runtime.isEmpty()) runtime = QDir::tempPath();
    m_lock = std::make_unique<QLockFile>(runtime + QStringLiteral("/Zorvik-Jotboard-Mutex-") + m_name +
                                         QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // stale only when its process is gone
}

TSingleInstance::~TSingleInstance()
{
    if (m_server) m_server->close();
    m_lock->unlock();
}

bool TSingleInstance::askRunning(int timeoutMs)
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(kActivate);
    socket.waitForBytesWritten(timeoutMs);
    // The answer comes once the first instance has handled the request.
    socket.waitForReadyRead(2000);
    socket.disconnectFromServer();
    return true;
}

bool TSingleInstance::ActivateRunningInstance()
{
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (askRunning(300)) return true;
        if (m_lock->tryLock(0)) return false;
        // Another instance holds the lock but is not listening yet: it is starting.
        if (waited.elapsed() > 5000) return false;
        QThread::msleep(100);
    }
}

bool TSingleInstance::Listen()
{
    if (!m_lock->isLocked()) m_lock->tryLock(0);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::AbstractNamespaceOption);
    if (!m_server->listen(m_name)) {
        QLocalServer::removeServer(m_name);
        if (!m_server->listen(m_name)) return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("activate")) {
                    emit activateRequested();
                    socket->write(kDone);
                    socket->flush();
                }
            });
        }
    });
    return true;
}

} // namespace zv
