#pragma once

// A Simple-MAPI-shaped layer over the desktop's mail hand-off (xdg-email). It keeps the
// calls, result codes, flags, recipient classes and sessions of Simple MAPI, so that the
// mail component above it is written as for Simple MAPI; below, one send becomes one run
// of xdg-email, which opens the user's mail program with a new message for review.

#include "store/ZvSeams.h"

#include <QString>
#include <QStringList>
#include <set>
#include <vector>

class QWidget;

namespace zv {

using ULONG = quint32;
using LHANDLE = quintptr;

namespace mapi {
// Result codes.
constexpr ULONG SUCCESS_SUCCESS = 0;
constexpr ULONG MAPI_USER_ABORT = 1;
constexpr ULONG MAPI_E_FAILURE = 2;
constexpr ULONG MAPI_E_LOGIN_FAILURE = 3;
constexpr ULONG MAPI_E_INSUFFICIENT_MEMORY = 5;
constexpr ULONG MAPI_E_ATTACHMENT_NOT_FOUND = 11;
constexpr ULONG MAPI_E_UNKNOWN_RECIPIENT = 14;
constexpr ULONG MAPI_E_BAD_RECIPTYPE = 15;
constexpr ULONG MAPI_E_INVALID_SESSION = 19;
constexpr ULONG MAPI_E_AMBIGUOUS_RECIPIENT = 21;
// Flags.
constexpr ULONG MAPI_LOGON_UI = 0x00000001;
constexpr ULONG MAPI_NEW_SESSION = 0x00000002;
constexpr ULONG MAPI_DIALOG = 0x00000008;
constexpr ULONG MAPI_USE_DEFAULT = 0x00000040;
// Recipient classes.
constexpr ULONG MAPI_ORIG = 0;
constexpr ULONG MAPI_TO = 1;
constexpr ULONG MAPI_CC = 2;
constexpr ULONG MAPI_BCC = 3;
// The longest recipient name a message carries.
constexpr int kMaxRecipientName = 255;
// Where the mail program places an attachment itself.
constexpr ULONG kPositionAnywhere = 0xFFFFFFFF;
} // namespace mapi

struct MapiRecipDesc
{
    ULONG ulRecipClass = mapi::MAPI_TO;
    QString lpszName;
    QString lpszAddress; // "SMTP:" + address, or empty (the name is the address)
};

struct MapiFileDesc
{
    ULONG flFlags = 0;
    ULONG nPosition = mapi::kPositionAnywhere;
    QString lpszPathName; // full path
    QString lpszFileName; // display name; empty: the file's own name
};

struct MapiMessage
{
    QString lpszSubject;
    QString lpszNoteText;
    std::vector<MapiRecipDesc> lpRecips;
    std::vector<MapiFileDesc> lpFiles;
};

// A recipient name as a message carries it: at most 255 characters, never ending in half
// of a surrogate pair.
QString MapiRecipientName(const QString& name);
// The recipient of a name sent without resolution: the (cut) name and "SMTP:" + that name.
MapiRecipDesc UnresolvedRecipient(ULONG recipClass, const QString& name);

// The layer. Virtual, so that a test can stand in for the mail system and see every call.
class TZvMapi
{
public:
    virtual ~TZvMapi() = default;

    // Opens a session (xdg-email has no profiles: every logon succeeds).
    virtual ULONG MAPILogon(QWidget* uiParam, const QString& profileName, const QString& password,
                            ULONG flags, LHANDLE* session);
    // MAPI_E_INVALID_SESSION for a handle that is not open.
    virtual ULONG MAPILogoff(LHANDLE session, QWidget* uiParam, ULONG flags);
    // Session 0 sends in a session of its own for this one message.
    virtual ULONG MAPISendMail(LHANDLE session, QWidget* uiParam, const MapiMessage& message, ULONG flags);
    // There is no address book behind xdg-email: a name resolves to itself as an SMTP
    // address; an empty name is an unknown recipient.
    virtual ULONG MAPIResolveName(LHANDLE session, QWidget* uiParam, const QString& name, ULONG flags,
                                  MapiRecipDesc* recip);

    bool isSessionOpen(LHANDLE session) const { return m_sessions.count(session) > 0; }
    int openSessionCount() const { return int(m_sessions.size()); }

    // The program's one layer.
    static TZvMapi& instance();

    // The run of xdg-email for one message, and what its end means.
    static MailProcessRequest XdgEmailRequest(const MapiMessage& message);
    static ULONG ResultOfRun(const MailProcessResult& run);

private:
    std::set<LHANDLE> m_sessions;
    LHANDLE m_lastSession = 0;
};

// How long a send waits for the hand-off to end.
constexpr int kMailHandOffWaitMs = 5000;

// The real handler of MailProcessSeam: runs the program and waits for its end with the busy
// cursor; the windows keep painting and timers keep running, the user's input waits. A
// hand-off still running after waitMs has given the mail program its message: it counts as
// done (exit status 0) and is collected when it ends.
MailProcessResult RunMailProcess(const MailProcessRequest& request, int waitMs = kMailHandOffWaitMs);
// Hand-offs that outlasted their wait and have not ended yet.
int MailProcessesStillRunning();

} // namespace zv
