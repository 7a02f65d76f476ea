#include "platform/ZvSingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>
#include <sys/socket.h>
#include <unistd.h>

namespace zv {

// ---- Frames ----------------------------------------------------------------------------

namespace InstanceWire {

QByteArray Encode(const QJsonObject& body)
{
    const QByteArray json = QJsonDocument(body).toJson(QJsonDocument::Compact);
    QByteArray frame;
    frame.reserve(kHeaderSize + json.size());
    frame.append(kMagic, 4);
    frame.append(char(kVersion));
    char length[4];
    qToBigEndian(quint32(json.size()), length);
    frame.append(length, 4);
    frame.append(json);
    return frame;
}

Parse Decode(QByteArray& buffer, QJsonObject* body, QString* why)
{
    const auto bad = [why](const char* reason) {
        if (why) *why = QString::fromLatin1(reason);
        return Parse::Bad;
    };
    // A wrong start is refused as soon as it shows, before the rest arrives.
    const qsizetype known = std::min<qsizetype>(buffer.size(), 4);
    if (QByteArrayView(buffer.constData(), known) != QByteArrayView(kMagic, known))
        return bad("not a message");
    if (buffer.size() < 5) return Parse::NeedMore;
    if (quint8(buffer.at(4)) != kVersion) return bad("unknown version");
    if (buffer.size() < kHeaderSize) return Parse::NeedMore;
    const quint32 length = qFromBigEndian<quint32>(buffer.constData() + 5);
    if (length > kMaxBodyBytes) return bad("too long");
    if (quint64(buffer.size()) < quint64(kHeaderSize) + length) return Parse::NeedMore;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(buffer.mid(kHeaderSize, qsizetype(length)), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return bad("not a JSON object");
    buffer.remove(0, kHeaderSize + qsizetype(length));
    if (body) *body = doc.object();
    return Parse::Frame;
}

} // namespace InstanceWire

// ---- Answers -----------------------------------------------------------------------------

TZvInstanceReply::TZvInstanceReply(QLocalSocket* socket) : m_state(std::make_shared<State>())
{
    m_state->socket = socket;
}

void TZvInstanceReply::send(const QJsonObject& body, bool last)
{
    if (!m_state || m_state->answered) return;
    if (last) m_state->answered = true;
    QLocalSocket* socket = m_state->socket;
    if (!socket || socket->state() != QLocalSocket::ConnectedState) return;
    socket->write(InstanceWire::Encode(body));
    socket->flush();
    // The peer closes once it has the last answer; so does this side, after writing it.
    if (last) socket->disconnectFromServer();
}

void TZvInstanceReply::progress(const QString& line)
{
    send({{QStringLiteral("ok"), true}, {QStringLiteral("done"), false}, {QStringLiteral("message"), line}},
         false);
}

void TZvInstanceReply::succeed(const QString& id, const QString& message)
{
    QJsonObject body{{QStringLiteral("ok"), true}, {QStringLiteral("done"), true}};
    if (!id.isEmpty()) body.insert(QStringLiteral("id"), id);
    if (!message.isEmpty()) body.insert(QStringLiteral("message"), message);
    send(body, true);
}

void TZvInstanceReply::fail(const QString& error)
{
    send({{QStringLiteral("ok"), false}, {QStringLiteral("done"), true}, {QStringLiteral("error"), error}},
         true);
}

// ---- The instance ----------------------------------------------------------------------

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

qint64 TSingleInstance::PeerUid(QLocalSocket* socket)
{
    if (!socket) return -1;
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0) return -1;
    ucred cred{};
    socklen_t size = sizeof cred;
    if (::getsockopt(int(fd), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0 || size != sizeof cred) return -1;
    return qint64(cred.uid);
}

bool TSingleInstance::tryRunning(const QJsonObject& request, InstanceAnswer* answer,
                                 const ProgressHandler& onProgress, bool* failed)
{
    *failed = false;
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(m_name);
    if (!socket.waitForConnected(300)) return false;
    const auto failWith = [&](const QString& error) {
        *failed = true;
        answer->ok = false;
        answer->error = error;
        socket.abort();
        return true;
    };
    // The abstract namespace has no permissions: anyone may take a name first. The text of a
    // command goes only to a process of this user.
    if (PeerUid(&socket) != qint64(getuid()))
        return failWith(tr("the socket of Zorvik Jotboard belongs to another user"));

    socket.write(InstanceWire::Encode(request));
    QElapsedTimer waited;
    waited.start();
    QByteArray buffer;
    bool first = true;
    for (;;) {
        QJsonObject body;
        QString why;
        switch (InstanceWire::Decode(buffer, &body, &why)) {
        case InstanceWire::Parse::Bad:
            return failWith(
                tr("the running Zorvik Jotboard gave an answer that is not understood (%1)").arg(why));
        case InstanceWire::Parse::Frame: {
            first = false;
            const bool done = body.value(QStringLiteral("done")).toBool(true);
            if (!done) {
                if (onProgress) onProgress(body.value(QStringLiteral("message")).toString());
                continue;
            }
            answer->ok = body.value(QStringLiteral("ok")).toBool(false);
            answer->id = body.value(QStringLiteral("id")).toString();
            answer->error = body.value(QStringLiteral("error")).toString();
            answer->message = body.value(QStringLiteral("message")).toString();
            if (!answer->ok && answer->error.isEmpty())
                answer->error = tr("the running Zorvik Jotboard refused the request");
            socket.disconnectFromServer();
            return true;
        }
        case InstanceWire::Parse::NeedMore:
            break;
        }
        if (socket.bytesToWrite() > 0) socket.waitForBytesWritten(50);
        // The limit is for the first answer; a long command (the sync) then reports as it goes.
        const int wait = first ? int(std::max<qint64>(0, kAnswerLimitMs - waited.elapsed())) : -1;
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(first ? std::min(wait, 100) : -1)) {
            if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
                return failWith(tr("the running Zorvik Jotboard closed the connection without an answer"));
            if (first && waited.elapsed() >= kAnswerLimitMs)
                return failWith(
                    tr("the running Zorvik Jotboard did not answer within %1 s").arg(kAnswerLimitMs / 1000));
            continue;
        }
        buffer.append(socket.readAll());
    }
}

TSingleInstance::Outcome TSingleInstance::HandOff(const QJsonObject& request, InstanceAnswer* answer,
                                                  const ProgressHandler& onProgress)
{
    QElapsedTimer waited;
    waited.start();
    m_lockWaitFailed = false;
    for (;;) {
        bool failed = false;
        if (tryRunning(request, answer, onProgress, &failed))
            return failed ? Outcome::Failed : Outcome::HandedOver;
        if (m_lock->tryLock(0)) {
            // An instance that listens without the lock (one that once waited in vain for it)
            // still counts as the running one.
            if (tryRunning(request, answer, onProgress, &failed)) {
                m_lock->unlock();
                return failed ? Outcome::Failed : Outcome::HandedOver;
            }
            return Outcome::Alone;
        }
        // Another process holds the lock without listening: an instance that is starting, or
        // a command working on the database. Wait for it.
        if (waited.elapsed() > kAnswerLimitMs) {
            m_lockWaitFailed = true;
            answer->ok = false;
            answer->error =
                tr("another start of Zorvik Jotboard did not finish within %1 s").arg(kAnswerLimitMs / 1000);
            return Outcome::Failed;
        }
        QThread::msleep(100);
    }
}

bool TSingleInstance::ActivateRunningInstance()
{
    QJsonObject request{{QStringLiteral("command"), QStringLiteral("activate")}};
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty()) request.insert(QStringLiteral("token"), token);
    InstanceAnswer answer;
    switch (HandOff(request, &answer)) {
    case Outcome::HandedOver:
        return true;
    case Outcome::Alone:
        return false;
    case Outcome::Failed:
        break;
    }
    // A start that waited in vain for the lock becomes the instance, as it always has; one
    // that reached an instance that did not answer ends as a second start.
    return !m_lockWaitFailed;
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
        while (QLocalSocket* socket = m_server->nextPendingConnection())
            onConnection(socket);
    });
    return true;
}

void TSingleInstance::Unlock()
{
    m_lock->unlock();
}

void TSingleInstance::onConnection(QLocalSocket* socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // Another user reached the name (the abstract namespace has no permissions): refused
    // before anything is read.
    if (PeerUid(socket) != qint64(getuid())) {
        TZvInstanceReply(socket).fail(tr("refused: the request comes from another user"));
        return;
    }
    auto buffer = std::make_shared<QByteArray>();
    auto taken = std::make_shared<bool>(false);
    // One request a connection, sent at once: a peer that sends nothing complete in time
    // is cut off.
    QTimer::singleShot(kReadLimitMs, socket, [socket, taken] {
        if (!*taken) socket->abort();
    });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer, taken] {
        if (*taken) {
            socket->readAll(); // nothing more is expected
            return;
        }
        buffer->append(socket->readAll());
        QJsonObject body;
        switch (InstanceWire::Decode(*buffer, &body)) {
        case InstanceWire::Parse::NeedMore:
            return;
        case InstanceWire::Parse::Bad:
            // Not this protocol: no answer, the connection goes.
            *taken = true;
            socket->abort();
            return;
        case InstanceWire::Parse::Frame:
            *taken = true;
            dispatch(socket, body);
            return;
        }
    });
}

void TSingleInstance::dispatch(QLocalSocket* socket, const QJsonObject& body)
{
    TZvInstanceReply reply(socket);
    InstanceRequest request;
    const QJsonValue command = body.value(QStringLiteral("command"));
    const QJsonValue text = body.value(QStringLiteral("text"));
    const QJsonValue token = body.value(QStringLiteral("token"));
    if (!command.isString() || command.toString().isEmpty()) return reply.fail(tr("refused: no command"));
    if (!text.isUndefined() && !text.isString()) return reply.fail(tr("refused: the text is not a text"));
    if (!token.isUndefined() && !token.isString()) return reply.fail(tr("refused: the token is not a text"));
    request.command = command.toString();
    request.hasText = text.isString();
    request.text = text.toString();
    request.activationToken = token.toString();
    if (request.text.toUtf8().size() > InstanceWire::kMaxTextBytes)
        return reply.fail(tr("refused: the text is longer than 1 MB"));
    if (!m_handler) return reply.fail(tr("refused: the program is not ready"));
    m_handler(request, reply);
}

} // namespace zv
