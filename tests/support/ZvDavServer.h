#pragma once

// A real CalDAV server for the sync's tests: Radicale or Xandikos from the system, started
// on 127.0.0.1 with a free port and a temporary storage folder of its own, ended by its
// process id. A test whose server is not installed skips.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <utility>

namespace zvtest {

class TDavServer
{
public:
    enum class Kind
    {
        Radicale, // htpasswd (plain) with one user, owner_only rights
        Xandikos  // no authentication
    };
    // With `tls` (Radicale only) it speaks HTTPS with a self-signed certificate made for it.
    explicit TDavServer(Kind kind, bool tls = false);
    ~TDavServer();
    TDavServer(const TDavServer&) = delete;
    TDavServer& operator=(const TDavServer&) = delete;

    static bool installed(Kind kind);
    static const char* nameOf(Kind kind);
    Kind kind() const { return m_kind; }

    // Starts it (again, on the same port and storage after stop) and waits until it
    // answers. False with `why` when it does not.
    bool start(QString* why);
    // Ends it by its process id (SIGTERM, then SIGKILL) and waits for its end.
    void stop();
    bool running() const { return m_pid > 0; }

    QUrl url() const; // http://127.0.0.1:port/ (https:// with TLS)
    // The SHA-256 fingerprint of its certificate, as the program shows it (AB:CD:...).
    QString fingerprint() const;
    QString user() const;
    QString password() const;
    // The user's calendar home, where tests put collections of their own.
    QUrl home() const;

    // A plain request, answered before it returns (a third client writing beside the
    // program's sync): status (0: no answer), body, ETag.
    struct Answer
    {
        int status = 0;
        QByteArray body;
        QByteArray etag;
    };
    Answer request(const QByteArray& verb, const QUrl& url, const QByteArray& body = {},
                   const QList<std::pair<QByteArray, QByteArray>>& headers = {}) const;

private:
    Kind m_kind;
    bool m_tls = false;
    QTemporaryDir m_dir;
    int m_port = 0;
    qint64 m_pid = 0;
};

} // namespace zvtest
