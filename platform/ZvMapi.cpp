#include "platform/ZvMapi.h"

#include "store/pU_Funcs.h"

#include <QCursor>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTimer>

#include <memory>

namespace zv {

using namespace mapi;

namespace {

const QString kSmtpPrefix = QStringLiteral("SMTP:");

// What xdg-email reports with its exit status.
constexpr int kXdgFileMissing = 2;
constexpr int kXdgNoMethod = 3; // no mail program found

QString addressOf(const MapiRecipDesc& recip)
{
    const QString& address = recip.lpszAddress.isEmpty() ? recip.lpszName : recip.lpszAddress;
    return address.startsWith(kSmtpPrefix, Qt::CaseInsensitive) ? address.mid(kSmtpPrefix.size()) : address;
}

// Hand-offs that outlasted their wait. Never freed: at exit a mail program still open
// stays open with its message.
std::set<QProcess*>& stillRunning()
{
    static auto* processes = new std::set<QProcess*>;
    return *processes;
}

} // namespace

QString MapiRecipientName(const QString& name)
{
    if (name.size() <= kMaxRecipientName) return name;
    int n = kMaxRecipientName;
    if (name.at(n - 1).isHighSurrogate()) --n;
    return name.left(n);
}

MapiRecipDesc UnresolvedRecipient(ULONG recipClass, const QString& name)
{
    MapiRecipDesc recip;
    recip.ulRecipClass = recipClass;
    recip.lpszName = MapiRecipientName(name);
    recip.lpszAddress = kSmtpPrefix + recip.lpszName;
    return recip;
}

TZvMapi& TZvMapi::instance()
{
    static TZvMapi layer;
    return layer;
}

ULONG TZvMapi::MAPILogon(QWidget*, const QString&, const QString&, ULONG, LHANDLE* session)
{
    if (!session) return MAPI_E_FAILURE;
    *session = ++m_lastSession;
    m_sessions.insert(*session);
    return SUCCESS_SUCCESS;
}

ULONG TZvMapi::MAPILogoff(LHANDLE session, QWidget*, ULONG)
{
    return m_sessions.erase(session) ? SUCCESS_SUCCESS : MAPI_E_INVALID_SESSION;
}

ULONG TZvMapi::MAPIResolveName(LHANDLE session, QWidget*, const QString& name, ULONG, MapiRecipDesc* recip)
{
    if (session != 0 && !isSessionOpen(session)) return MAPI_E_INVALID_SESSION;
    if (!recip) return MAPI_E_FAILURE;
    QString address = name.trimmed();
    if (address.startsWith(kSmtpPrefix, Qt::CaseInsensitive)) address = address.mid(kSmtpPrefix.size());
    if (address.isEmpty()) return MAPI_E_UNKNOWN_RECIPIENT;
    *recip = UnresolvedRecipient(MAPI_TO, address);
    return SUCCESS_SUCCESS;
}

ULONG TZvMapi::MAPISendMail(LHANDLE session, QWidget*, const MapiMessage& message, ULONG)
{
    // xdg-email always opens the compose window, so every send is reviewed, with or
    // without MAPI_DIALOG.
    if (session != 0 && !isSessionOpen(session)) return MAPI_E_INVALID_SESSION;
    for (const MapiRecipDesc& r : message.lpRecips) {
        if (r.ulRecipClass > MAPI_BCC) return MAPI_E_BAD_RECIPTYPE;
        if (addressOf(r).isEmpty()) return MAPI_E_UNKNOWN_RECIPIENT;
    }
    for (const MapiFileDesc& f : message.lpFiles)
        if (!QFileInfo(f.lpszPathName).isFile()) return MAPI_E_ATTACHMENT_NOT_FOUND;
    return ResultOfRun(MailProcessSeam().call(XdgEmailRequest(message)));
}

MailProcessRequest TZvMapi::XdgEmailRequest(const MapiMessage& message)
{
    MailProcessRequest request;
    request.program = QStringLiteral("xdg-email");
    QStringList& a = request.arguments;
    a << QStringLiteral("--utf8");
    // xdg-email refuses an option without text: an empty subject or body is left out.
    if (!message.lpszSubject.isEmpty()) a << QStringLiteral("--subject") << message.lpszSubject;
    // xdg-email writes every LF as CR LF itself: a CR of ours would arrive doubled.
    if (!message.lpszNoteText.isEmpty()) a << QStringLiteral("--body") << LfLineBreaks(message.lpszNoteText);
    for (const MapiRecipDesc& r : message.lpRecips)
        if (r.ulRecipClass == MAPI_CC) a << QStringLiteral("--cc") << addressOf(r);
    for (const MapiRecipDesc& r : message.lpRecips)
        if (r.ulRecipClass == MAPI_BCC) a << QStringLiteral("--bcc") << addressOf(r);
    for (const MapiFileDesc& f : message.lpFiles)
        a << QStringLiteral("--attach") << f.lpszPathName;
    for (const MapiRecipDesc& r : message.lpRecips) {
        if (r.ulRecipClass != MAPI_TO) continue;
        // A plain argument must look like an address, and one starting with "-" would be
        // read as an option (taking the next argument with it): those go as "--to" values.
        const QString address = addressOf(r);
        if (address.contains(QLatin1Char('@')) && !address.startsWith(QLatin1Char('-')))
            a << address;
        else
            a << QStringLiteral("--to") << address;
    }
    return request;
}

ULONG TZvMapi::ResultOfRun(const MailProcessResult& run)
{
    if (!run.started) return MAPI_USER_ABORT; // no xdg-email: as without a mail program
    switch (run.exitCode) {
    case 0:
        return SUCCESS_SUCCESS;
    case kXdgFileMissing:
        return MAPI_E_ATTACHMENT_NOT_FOUND;
    case kXdgNoMethod:
        return MAPI_USER_ABORT;
    default:
        return MAPI_E_FAILURE;
    }
}

MailProcessResult RunMailProcess(const MailProcessRequest& request, int waitMs)
{
    MailProcessResult result;
    auto* process = new QProcess;
    process->setProgram(request.program);
    process->setArguments(request.arguments);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QEventLoop loop;
    bool ended = false;
    QObject::connect(process, &QProcess::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QObject::connect(process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            ended = true;
            loop.quit();
        }
    });
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (gui) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    process->start();
    // The windows keep painting and the timers keep running; the user's input waits
    // until the hand-off is done, as behind a modal dialog.
    if (!ended) {
        limit.start(waitMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (gui) QGuiApplication::restoreOverrideCursor();
    if (!ended) {
        // Some mail programs keep xdg-email waiting until the user quits them: by now the
        // message is theirs. The process is left to end in its own time and collected
        // then; destroying it now would kill the mail program.
        stillRunning().insert(process);
        QObject::connect(process, &QProcess::finished, process, [process] {
            stillRunning().erase(process);
            process->deleteLater();
        });
        result.started = true;
        return result;
    }
    const std::unique_ptr<QProcess> done(process);
    if (process->error() == QProcess::FailedToStart) return result;
    result.started = true;
    result.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1;
    return result;
}

int MailProcessesStillRunning()
{
    return int(stillRunning().size());
}

} // namespace zv
