#include "ZvDavServer.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <sys/types.h>

namespace zvtest {

namespace {

const char* programOf(TDavServer::Kind kind)
{
    return kind == TDavServer::Kind::Radicale ? "radicale" : "xandikos";
}

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The server runs detached (no child of ours): whether its process is still there.
bool alive(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0;
}

double timeoutScale()
{
    bool ok = false;
    const double scale = qEnvironmentVariable("ZVJ_TIMEOUT_SCALE").toDouble(&ok);
    return ok && scale >= 1 ? scale : 1;
}

} // namespace

TDavServer::TDavServer(Kind kind, bool tls) : m_kind(kind), m_tls(tls && kind == Kind::Radicale) {}

TDavServer::~TDavServer()
{
    stop();
}

bool TDavServer::installed(Kind kind)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(programOf(kind))).isEmpty();
}

const char* TDavServer::nameOf(Kind kind)
{
    return programOf(kind);
}

bool TDavServer::start(QString* why)
{
    if (m_pid > 0) return true;
    if (!m_port) m_port = freePort();
    const QString root = m_dir.path();
    QStringList arguments;
    if (m_kind == Kind::Radicale) {
        QFile users(root + QStringLiteral("/users"));
        users.open(QIODevice::WriteOnly);
        users.write(user().toUtf8() + ':' + password().toUtf8() + '\n');
        users.close();
        QString tls;
        if (m_tls) {
            if (!QFile::exists(root + QStringLiteral("/cert.pem"))) {
                QProcess openssl;
                openssl.setStandardOutputFile(QProcess::nullDevice());
                openssl.setStandardErrorFile(QProcess::nullDevice());
                openssl.start(QStringLiteral("openssl"),
                              {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                               "/CN=127.0.0.1", "-keyout", root + "/key.pem", "-out", root + "/cert.pem"});
                if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
                    *why = QStringLiteral("openssl made no certificate");
                    return false;
                }
            }
            tls = QStringLiteral("ssl = True\ncertificate = %1/cert.pem\nkey = %1/key.pem\n").arg(root);
        }
        // The whole configuration is ours: --config replaces the system's own file.
        QFile config(root + QStringLiteral("/config"));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n%3"
                                    "[auth]\ntype = htpasswd\nhtpasswd_filename = %2/users\n"
                                    "htpasswd_encryption = plain\ndelay = 0\n"
                                    "[rights]\ntype = owner_only\n"
                                    "[storage]\nfilesystem_folder = %2/collections\n"
                                    "[web]\ntype = none\n"
                                    "[logging]\nlevel = warning\n")
                         .arg(m_port)
                         .arg(root, tls)
                         .toUtf8());
        config.close();
        arguments << QStringLiteral("--config") << root + QStringLiteral("/config");
    } else {
        arguments << QStringLiteral("--defaults") << QStringLiteral("-d") << root + QStringLiteral("/data")
                  << QStringLiteral("-l") << QStringLiteral("127.0.0.1") << QStringLiteral("-p")
                  << QString::number(m_port);
    }
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("RADICALE_CONFIG"));
    process.setProcessEnvironment(env);
    process.setProgram(QString::fromLatin1(programOf(m_kind)));
    process.setArguments(arguments);
    process.setStandardOutputFile(root + QStringLiteral("/log"), QIODevice::Append);
    process.setStandardErrorFile(root + QStringLiteral("/log"), QIODevice::Append);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached(&m_pid)) {
        *why = QStringLiteral("%1 does not start").arg(QString::fromLatin1(programOf(m_kind)));
        return false;
    }
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 20000 * timeoutScale()) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        if (socket.waitForConnected(200)) return true;
        if (!alive(m_pid)) {
            m_pid = 0;
            QFile log(root + QStringLiteral("/log"));
            log.open(QIODevice::ReadOnly);
            *why = QStringLiteral("%1 ended at its start: %2")
                       .arg(QString::fromLatin1(programOf(m_kind)),
                            QString::fromUtf8(log.readAll().right(2000)));
            return false;
        }
        QThread::msleep(50);
    }
    *why = QStringLiteral("%1 does not answer on port %2")
               .arg(QString::fromLatin1(programOf(m_kind)))
               .arg(m_port);
    stop();
    return false;
}

void TDavServer::stop()
{
    if (m_pid <= 0) return;
    const pid_t pid = pid_t(m_pid);
    m_pid = 0;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 250 && alive(pid); ++i)
        QThread::msleep(20);
    if (!alive(pid)) return;
    ::kill(pid, SIGKILL);
    while (alive(pid))
        QThread::msleep(20);
}

QUrl TDavServer::url() const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2/")
                    .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(m_port));
}

QString TDavServer::fingerprint() const
{
    const QList<QSslCertificate> certs =
        QSslCertificate::fromPath(m_dir.path() + QStringLiteral("/cert.pem"));
    return certs.isEmpty()
               ? QString()
               : QString::fromLatin1(certs.first().digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString TDavServer::user() const
{
    return m_kind == Kind::Radicale ? QStringLiteral("tester") : QString();
}

QString TDavServer::password() const
{
    return m_kind == Kind::Radicale ? QStringLiteral("s3cret pass") : QString();
}

QUrl TDavServer::home() const
{
    return url().resolved(
        QUrl(m_kind == Kind::Radicale ? QStringLiteral("/tester/") : QStringLiteral("/user/calendars/")));
}

TDavServer::Answer TDavServer::request(const QByteArray& verb, const QUrl& url, const QByteArray& body,
                                       const QList<std::pair<QByteArray, QByteArray>>& headers) const
{
    QNetworkAccessManager network;
    QNetworkRequest r(url);
    if (m_tls) {
        QSslConfiguration tls = r.sslConfiguration();
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
        r.setSslConfiguration(tls);
    }
    if (!user().isEmpty())
        r.setRawHeader("Authorization",
                       "Basic " + (user() + QLatin1Char(':') + password()).toUtf8().toBase64());
    for (const auto& [name, value] : headers)
        r.setRawHeader(name, value);
    if (!body.isEmpty() && !r.hasRawHeader("Content-Type"))
        r.setRawHeader("Content-Type",
                       verb == "PUT" ? "text/calendar; charset=utf-8" : "application/xml; charset=utf-8");
    QNetworkReply* reply = network.sendCustomRequest(r, verb, body);
    // Events by hand: after a test ended a window (QCoreApplication::exit), an event loop of
    // this process returns at once.
    QTimer tick;
    tick.start(50);
    QElapsedTimer waited;
    waited.start();
    while (!reply->isFinished() && waited.elapsed() < 20000 * timeoutScale())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Answer a;
    if (reply->isFinished()) {
        a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        a.body = reply->readAll();
        a.etag = reply->rawHeader("ETag");
    }
    delete reply;
    return a;
}

} // namespace zvtest
