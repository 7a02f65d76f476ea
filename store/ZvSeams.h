#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

class QWidget;

namespace zv {

// ---- The one shape of every seam --------------------------------------------------------
// A call that blocks or touches the system goes through a seam: the program installs the
// real handler at start; a test queues answers (taken first, in order), installs a handler
// of its own, reads the history of requests and resets it. With neither an answer nor a
// handler, the seam's fallback answers: a harmless default in the program, and in tests
// (zvtest::ResetSeams) a failure of the test that names the request.
//
// Every seam made from the template is known to TZvSeamBase::resetAll, so a seam added
// later is reset with the others without being listed anywhere.
class TZvSeamBase
{
public:
    TZvSeamBase(const TZvSeamBase&) = delete;
    TZvSeamBase& operator=(const TZvSeamBase&) = delete;

    // Queued answers, history, handler and fallback back to the start.
    virtual void reset() = 0;
    // Every seam of the process back to its start.
    static void resetAll();

protected:
    TZvSeamBase();
    virtual ~TZvSeamBase();
};

// The request of a seam that is only asked, with nothing to say (the clock, the tray host).
struct SeamQuery
{
};

template <class Request, class Answer> class TZvSeam : public TZvSeamBase
{
public:
    using Handler = std::function<Answer(const Request&)>;
    // The program asks some seams all day long (the clock, the tray host): only the latest
    // requests are kept, which is more than any test reads.
    static constexpr qsizetype kHistoryLimit = 1000;

    explicit TZvSeam(Handler fallback) : m_fallback(std::move(fallback)), m_defaultFallback(m_fallback) {}

    Answer call(const Request& request)
    {
        if (m_history.size() >= kHistoryLimit) m_history.removeFirst();
        m_history.append(request);
        if (!m_answers.isEmpty()) return m_answers.takeFirst();
        if (m_handler) return m_handler(request);
        return m_fallback(request);
    }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    bool hasHandler() const { return bool(m_handler); }
    void queueAnswer(Answer answer) { m_answers.append(std::move(answer)); }
    qsizetype queuedAnswers() const { return m_answers.size(); }
    const QList<Request>& history() const { return m_history; }
    // What answers when nothing is queued and no handler is set (tests make it fail);
    // an empty one puts back the seam's own.
    void setFallback(Handler fallback) { m_fallback = fallback ? std::move(fallback) : m_defaultFallback; }
    void reset() override
    {
        m_answers.clear();
        m_history.clear();
        m_handler = nullptr;
        m_fallback = m_defaultFallback;
    }

private:
    Handler m_fallback;
    Handler m_defaultFallback;
    Handler m_handler;
    QList<Answer> m_answers;
    QList<Request> m_history;
};

// ---- Message boxes ------------------------------------------------------------------
// Every message box of the program goes through here. The program installs a handler
// that shows a real QMessageBox; tests queue answers and read the log.
enum class MsgIcon
{
    None,
    Information,
    Warning,
    Error,
    Question
};
enum class MsgButtons
{
    Ok,
    OkCancel,
    YesNo
};

// Results follow the Windows dialog codes the callers compare with.
enum MsgResult : int
{
    IdOk = 1,
    IdCancel = 2,
    IdAbort = 3,
    IdYes = 6,
    IdNo = 7,
    IdYesToAll = 10
};

struct MessageRequest
{
    QString caption;
    QString text;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
};

// The answer of a box closed by its window frame (or Escape): OK when OK is all it offers,
// Cancel otherwise.
int ClosedBoxAnswer(MsgButtons buttons);

class MessageSeam
{
public:
    using Seam = TZvSeam<MessageRequest, int>;
    using Handler = Seam::Handler;

    static int show(const MessageRequest& request);
    static void setHandler(Handler handler);

    // Test side: answers are taken in order. With none queued and no handler, the box
    // answers OK (or Yes); after zvtest::ResetSeams it fails the test instead.
    static void queueAnswer(int answer);
    static const QList<MessageRequest>& history();
    static QStringList texts(); // the texts shown so far, in order
    // This seam alone back to the program's fallback (OK or Yes, not the tests' failure).
    static void reset();
    static Seam& seam();
};

// ---- Clipboard (plain text) ---------------------------------------------------------
// Without a handler the text stays in memory, inside this process: the program installs
// the desktop's clipboard.
class ClipboardSeam
{
public:
    using ReadSeam = TZvSeam<SeamQuery, QString>;
    using WriteSeam = TZvSeam<QString, bool>;

    static QString text();
    static void setText(const QString& text);
    // Tests: `on` empties the in-memory clipboard and removes the handlers, so that the
    // memory answers (as after every reset); `false` leaves the seams as they are.
    static void useMemoryClipboard(bool on);
    static ReadSeam& reads();
    static WriteSeam& writes(); // the history holds every text put on the clipboard
};

// ---- Desktop: web pages and mailto: addresses ---------------------------------------
class DesktopSeam
{
public:
    using Seam = TZvSeam<QUrl, bool>;
    using Handler = Seam::Handler;
    // Without a handler nothing is opened and the answer is false.
    static bool openUrl(const QUrl& url);
    static void setHandler(Handler handler);
    static Seam& seam();
};

// ---- Sound --------------------------------------------------------------------------
class SoundSeam
{
public:
    using Seam = TZvSeam<QString, bool>; // the file's path; whether it started to play
    using Handler = std::function<void(const QString& path)>;
    // Plays the file once, without blocking (the program's handler falls back to a beep).
    // Without a handler nothing sounds.
    static void play(const QString& path);
    static void setHandler(Handler handler);
    static Seam& seam();
};

// ---- Tray host ----------------------------------------------------------------------
class TrayHostSeam
{
public:
    using Seam = TZvSeam<SeamQuery, bool>;
    // Whether a notification area runs; without a handler, none does.
    static bool available();
    // Tests: a tray host there (true) or not (false); nullopt removes the handler.
    static void setAvailable(std::optional<bool> available);
    static Seam& seam();
};

// ---- StatusNotifierItem host -------------------------------------------------------
// Whether an org.kde.StatusNotifierWatcher with a registered host is on the session bus: a
// tray that takes the program's own StatusNotifierItem when Qt's icon is not one (Qt
// chooses once per process). Without a handler there is none, so tests never put an item
// on the desktop of the user who runs them.
class StatusNotifierHostSeam
{
public:
    using Seam = TZvSeam<SeamQuery, bool>;
    static bool available();
    // Tests: a host there (true) or not (false); nullopt removes the handler.
    static void setAvailable(std::optional<bool> available);
    static Seam& seam();
};

// ---- Clock and zone -----------------------------------------------------------------
// The fixed time, the offset and the zone's bias are conveniences on top of the clock's
// seam; its reset clears them too.
class Clock
{
public:
    using Seam = TZvSeam<SeamQuery, QDateTime>;
    static QDateTime now(); // local time
    // Tests: pin the clock (or move it by an offset from the real one).
    static void setFixed(const std::optional<QDateTime>& fixed);
    static void setOffsetMs(qint64 offset);
    // The zone's bias (UTC minus local, in minutes) used by CurrentUtcBias: pinned by
    // tests, and for the length of one exchange file.
    static void setUtcBiasOverride(std::optional<int> biasMinutes);
    static std::optional<int> utcBiasOverride();
    static Seam& seam();
};

// ---- Mail program and print dialog --------------------------------------------------
// Starts the desktop's mail hand-off and waits for it to end (the real handler lives with
// the MAPI layer in platform/). Not started: the program is not installed.
struct MailProcessRequest
{
    QString program;
    QStringList arguments;
};
struct MailProcessResult
{
    bool started = false;
    int exitCode = 0;
};
TZvSeam<MailProcessRequest, MailProcessResult>& MailProcessSeam();

// ---- Network: the requests of the sync ------------------------------------------------
// Every request the sync sends passes here before it reaches the network. Without an answer
// or a handler it goes out as it is; a test may answer it itself, fail it as a lost
// connection would, or act on the server first (another writer, a server that stops).
struct NetworkRequest
{
    QByteArray verb;
    QUrl url;
    QByteArray body;
};
struct NetworkIntercept
{
    enum class Kind
    {
        Pass,   // to the network
        Answer, // this status and body, as if the server had sent them
        Fail    // no answer: the connection failed with `error`
    };
    Kind kind = Kind::Pass;
    int status = 0;
    QByteArray body;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QString error;
};
TZvSeam<NetworkRequest, NetworkIntercept>& NetworkSeam();

// ---- Secret store -----------------------------------------------------------------------
// The desktop's secret store, for the sync's password. Without a handler no store answers
// (nothing is read or kept): the program installs the real one where the desktop has one.
struct SecretRequest
{
    enum class Op
    {
        Read,
        Write,
        Remove
    };
    Op op = Op::Read;
    QString key;
    QString value; // Write
};
struct SecretAnswer
{
    bool storeAnswered = false; // false: no secret store runs
    bool found = false;         // Read: a value is kept under the key
    QString value;
    QString error; // the store's failure (or, with storeAnswered false, why none answered)
};
TZvSeam<SecretRequest, SecretAnswer>& SecretSeam();

// ---- Password prompt --------------------------------------------------------------------
// Asks the user for a password (the text says what for); nothing when he cancels. Without a
// handler nobody is asked.
TZvSeam<QString, std::optional<QString>>& PasswordPromptSeam();

} // namespace zv
