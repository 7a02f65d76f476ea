#pragma once

#include "platform/ZvMapi.h"
#include "store/ZvError.h"

#include <QLineEdit>
#include <QObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>

namespace zv {

// A failed Simple MAPI call: the code's text and the code.
class EMapiError : public EZvError
{
public:
    explicit EMapiError(ULONG errorCode);
    ULONG ErrorCode;
};

// The user closed the compose window without sending, or there is no mail program: the
// program-wide error box stays silent.
class EMapiUserAbort : public ESilentAbort
{
public:
    EMapiUserAbort();
};

// The text of a MAPI result code ("Unknown Error" for a code the table lacks).
QString MapiErrorText(ULONG code);
// Nothing for 0; EMapiUserAbort for 1; EMapiError for every other code.
void MapiCheck(ULONG code);

// Sends a message through the user's mail program (the Simple MAPI layer). Each frame owns
// one; the session opened by the first Send stays open until the component is destroyed.
class TZvSendMessage : public QObject
{
    Q_OBJECT
public:
    explicit TZvSendMessage(QObject* owner = nullptr, TZvMapi* mapi = nullptr);
    ~TZvSendMessage() override;

    // Published properties, in declaration order. The lists are copied when set.
    QStringList Attachments;
    QStringList CcRecipients;
    QStringList BccRecipients;
    QPointer<QPlainTextEdit> MessageMemo; // its lines replace MessageText at sending time
    QStringList MessageText;
    QString ProfileName;
    QString Password;
    bool Review = true;
    bool ResolveNames = true;
    QStringList ToRecipients;
    QString Subject;
    QPointer<QLineEdit> SubjectEdit; // its text is the subject at sending time

    void Logon();
    void Logoff();
    // Empties the lists and the message text; the subject stays.
    void Reset();
    void Send();

    LHANDLE session() const { return m_session; }

private:
    TZvMapi& mapi() const { return m_mapi ? *m_mapi : TZvMapi::instance(); }

    TZvMapi* m_mapi;
    LHANDLE m_session = 0;
};

} // namespace zv
