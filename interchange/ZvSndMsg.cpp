#include "interchange/ZvSndMsg.h"

#include "store/ZvScopeExit.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QGuiApplication>

namespace zv {

using namespace mapi;

namespace {
QString trc(const char* text)
{
    return QCoreApplication::translate("ZvSndMsg", text);
}
} // namespace

QString MapiErrorText(ULONG code)
{
    switch (code) {
    case 2:
        return trc("General Failure");
    case 3:
        return trc("Login Failure");
    case 4:
        return trc("Disk Full");
    case 5:
        return trc("Insufficient Memory");
    case 6:
        return trc("Access Denied");
    case 8:
        return trc("Too Many Sessions");
    case 9:
        return trc("Too Many Files");
    case 10:
        return trc("Too Many Recipients");
    case 11:
        return trc("Attachment Not Found");
    case 12:
        return trc("Attachment Open Failure");
    case 13:
        return trc("Attachment Write Failure");
    case 14:
        return trc("Unknown Recipient");
    case 15:
        return trc("Bad Recipient Type");
    case 16:
        return trc("No Messages");
    case 17:
        return trc("Invalid Message");
    case 18:
        return trc("Text Too Large");
    case 19:
        return trc("Invalid Session");
    case 20:
        return trc("Type Not Supported");
    case 21:
        return trc("Ambiguous Recipient");
    case 22:
        return trc("Message In Use");
    case 23:
        return trc("Network Failure");
    case 24:
        return trc("Invalid Edit Fields");
    case 25:
        return trc("Invalid Recipients");
    case 26:
        return trc("Feature Not Supported");
    default:
        return QStringLiteral("Unknown Error");
    }
}

EMapiError::EMapiError(ULONG errorCode)
    : EZvError(trc("MAPI: %1. ErrorCode = %2").arg(MapiErrorText(errorCode)).arg(errorCode)),
      ErrorCode(errorCode)
{}

EMapiUserAbort::EMapiUserAbort() : ESilentAbort(trc("User Abort")) {}

void MapiCheck(ULONG code)
{
    if (code == SUCCESS_SUCCESS) return;
    if (code == MAPI_USER_ABORT) throw EMapiUserAbort();
    throw EMapiError(code);
}

TZvSendMessage::TZvSendMessage(QObject* owner, TZvMapi* mapi) : QObject(owner), m_mapi(mapi) {}

TZvSendMessage::~TZvSendMessage()
{
    // A destructor must not throw; the session ends with the mail system either way.
    try {
        Logoff();
    } catch (...) {
    }
}

void TZvSendMessage::Logon()
{
    const ULONG flags = ProfileName.isEmpty() ? (MAPI_USE_DEFAULT | MAPI_DIALOG | MAPI_LOGON_UI)
                                              : (MAPI_DIALOG | MAPI_LOGON_UI);
    LHANDLE session = 0;
    MapiCheck(mapi().MAPILogon(nullptr, ProfileName, Password, flags, &session));
    m_session = session;
}

void TZvSendMessage::Logoff()
{
    if (m_session == 0) return;
    const LHANDLE session = m_session;
    m_session = 0;
    MapiCheck(mapi().MAPILogoff(session, nullptr, 0));
}

void TZvSendMessage::Reset()
{
    Attachments.clear();
    ToRecipients.clear();
    CcRecipients.clear();
    BccRecipients.clear();
    MessageText.clear();
}

void TZvSendMessage::Send()
{
    const bool gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    if (gui) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    const QString directory = QDir::currentPath();
    const auto restore = ScopeExit([&] {
        QDir::setCurrent(directory);
        if (gui) QGuiApplication::restoreOverrideCursor();
    });

    if (m_session == 0) Logon();

    MapiMessage message;
    if (MessageMemo) {
        const QString text = MessageMemo->toPlainText();
        MessageText = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }
    for (const QString& line : MessageText)
        message.lpszNoteText += line + QLatin1String("\r\n");
    message.lpszSubject = SubjectEdit ? SubjectEdit->text() : Subject;

    const ULONG resolveFlags = Review ? (MAPI_DIALOG | MAPI_LOGON_UI) : MAPI_LOGON_UI;
    auto addRecipients = [&](const QStringList& names, ULONG recipClass) {
        for (const QString& name : names) {
            if (!ResolveNames) {
                message.lpRecips.push_back(UnresolvedRecipient(recipClass, name));
                continue;
            }
            MapiRecipDesc resolved;
            MapiCheck(
                mapi().MAPIResolveName(m_session, nullptr, MapiRecipientName(name), resolveFlags, &resolved));
            resolved.ulRecipClass = recipClass;
            message.lpRecips.push_back(resolved);
        }
    };
    addRecipients(ToRecipients, MAPI_TO);
    addRecipients(CcRecipients, MAPI_CC);
    addRecipients(BccRecipients, MAPI_BCC);

    for (const QString& entry : Attachments) {
        MapiFileDesc file;
        file.lpszPathName = QDir::cleanPath(QDir(directory).absoluteFilePath(entry));
        message.lpFiles.push_back(file);
    }

    // Without review a message with recipients goes as it is; with none, the compose
    // window is the only way to address it.
    const ULONG flags = (Review || ToRecipients.isEmpty()) ? (MAPI_DIALOG | MAPI_LOGON_UI) : MAPI_LOGON_UI;
    MapiCheck(mapi().MAPISendMail(m_session, QApplication::activeWindow(), message, flags));
}

} // namespace zv
