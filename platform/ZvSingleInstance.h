#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QLockFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QLocalServer;
class QLocalSocket;

namespace zv {

// ---- The messages of the single-instance socket ------------------------------------------
// One frame: the four bytes "ZVJB", a version byte, the body's length as four bytes big-endian,
// then the body: one JSON object in UTF-8. A request carries "command" (text) and, by
// command, "text" (the item's text) and "token" (the XDG activation token the later start
// was given). An answer carries "ok" (boolean), "done" (boolean: false for a progress line
// of a long command, more answers follow), and "id" (the new item's id), "error" or
// "message" (a line for the user). Anything else is refused.
namespace InstanceWire {

inline constexpr char kMagic[4] = {'Z', 'V', 'J', 'B'};
inline constexpr quint8 kVersion = 1;
inline constexpr int kHeaderSize = 9;
// The longest text an item may get from outside: 1 MB of UTF-8.
inline constexpr qsizetype kMaxTextBytes = 1024 * 1024;
// A body holds at most the text escaped as JSON (six bytes a byte at worst) and a little more.
inline constexpr quint32 kMaxBodyBytes = quint32(kMaxTextBytes) * 6 + 4096;

QByteArray Encode(const QJsonObject& body);

enum class Parse
{
    NeedMore, // the frame is not complete yet
    Frame,    // one frame taken off the front of the buffer
    Bad       // not a frame of this protocol (the reason is said)
};
Parse Decode(QByteArray& buffer, QJsonObject* body, QString* why = nullptr);

} // namespace InstanceWire

// A request that reached the running instance, checked for its shape.
struct InstanceRequest
{
    QString command;
    QString text;
    bool hasText = false;
    QString activationToken;
};

// Answers one request: progress lines for a long command (the sync's), then one final
// answer. Copies share the connection; an answer after the peer has gone is dropped.
class TZvInstanceReply
{
public:
    TZvInstanceReply() = default;
    explicit TZvInstanceReply(QLocalSocket* socket);

    void progress(const QString& line);
    void succeed(const QString& id = QString(), const QString& message = QString());
    void fail(const QString& error);
    bool answered() const { return !m_state || m_state->answered; }

private:
    void send(const QJsonObject& body, bool last);
    struct State
    {
        QPointer<QLocalSocket> socket;
        bool answered = false;
    };
    std::shared_ptr<State> m_state;
};

// What a later process got from the running instance.
struct InstanceAnswer
{
    bool ok = false;
    QString id;
    QString error;
    QString message;
};

// One running instance per user and program folder. The server lives in the abstract
// socket namespace (nothing left behind after a crash); a lock file in the runtime folder
// stands for the named mutex while the first instance is still starting, and while a
// command-line process works on the database itself.
class TSingleInstance : public QObject
{
    Q_OBJECT
public:
    using RequestHandler = std::function<void(const InstanceRequest&, TZvInstanceReply)>;
    using ProgressHandler = std::function<void(const QString& line)>;

    // The time a later process waits for the running instance's first answer, and for
    // another process that holds the lock (a start, or a command working on the database).
    static constexpr int kAnswerLimitMs = 10000;
    // A connection that sends no complete frame in this time is closed.
    static constexpr int kReadLimitMs = 5000;

    explicit TSingleInstance(const QString& title, const QString& programFolder, QObject* parent = nullptr);
    ~TSingleInstance() override;

    static QString ServerName(const QString& title, const QString& programFolder);
    QString serverName() const { return m_name; }

    enum class Outcome
    {
        HandedOver, // a running instance answered (the answer says how it went)
        Alone,      // none runs: this process holds the lock now
        Failed      // none answered in time, or the socket is not ours (answer.error says)
    };
    // Sends the request to the running instance and reads its answers (the first within
    // kAnswerLimitMs, progress lines to onProgress). With none running, takes the lock and
    // returns Alone: the caller works alone until Unlock (or for the rest of the process).
    Outcome HandOff(const QJsonObject& request, InstanceAnswer* answer,
                    const ProgressHandler& onProgress = {});

    // A start without arguments: asks a running instance to come forward (with the
    // activation token this process was given). True when one answered: this process
    // must then end without touching the database.
    bool ActivateRunningInstance();
    // Becomes the running instance (holds the lock, listens for later starts).
    bool Listen();
    void Unlock();

    // Handles the requests of later starts; without a handler every request is refused.
    void setRequestHandler(RequestHandler handler) { m_handler = std::move(handler); }

    // The user id of the process at the other end of a local socket, or -1.
    static qint64 PeerUid(QLocalSocket* socket);

private:
    // Connects, sends, reads. Returns false when nothing listens.
    bool tryRunning(const QJsonObject& request, InstanceAnswer* answer, const ProgressHandler& onProgress,
                    bool* failed);
    void onConnection(QLocalSocket* socket);
    void dispatch(QLocalSocket* socket, const QJsonObject& body);

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    RequestHandler m_handler;
    bool m_lockWaitFailed = false;
};

// The program folder: ZVJ_HOME when set, else the executable's folder; ends with "/".
QString ProgramFolder();

} // namespace zv
