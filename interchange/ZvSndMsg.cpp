#include "interchange/ZvSndMsg.h"

#include "store/ZvScopeExit.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QGuiApplication>
#include <iterator>

namespace zv {

using namespace mapi;

namespace {
QString trc(const char* text)
{
    return QCoreApplication::translate("ZvSndMsg", text);
}

// The texts of the result codes, by code; a gap or a code past the end has none.
constexpr const char* kMapiErrorTexts[] = {
    nullptr,
    nullptr,
    QT_TRANSLATE_NOOP("ZvSndMsg", "General Failure"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Login Failure"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Disk Full"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Insufficient Memory"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Access Denied"),
    nullptr,
    QT_TRANSLATE_NOOP("ZvSndMsg", "Too Many Sessions"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Too Many Files"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Too Many Recipients"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Attachment Not Found"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Attachment Open Failure"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Attachment Write Failure"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Unknown Recipient"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Bad Recipient Type"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "No Messages"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Invalid Message"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Text Too Large"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Invalid Session"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Type Not Supported"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Ambiguous Recipient"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Message In Use"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Network Failure"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Invalid Edit Fields"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Invalid Recipients"),
    QT_TRANSLATE_NOOP("ZvSndMsg", "Feature Not Supported"),
};
} // namespace

QString MapiErrorText(ULONG code)
{
    const char* text = code < std::size(kMapiErrorTexts) ? kMapiErrorTexts[code] : nullptr;
    return text ? trc(text) : QStringLiteral("Unknown Error");
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
