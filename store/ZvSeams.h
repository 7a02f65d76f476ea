#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

namespace zv {

// ---- The one shape of every seam --------------------------------------------------------
// A call that blocks or touches the system goes through a seam: the program installs the
// real handler at start; a test queues answers (taken first, in order), installs a handler
// of its own, reads the history of requests and resets it. With neither an answer nor a
// handler, the seam's fallback answers: a harmless default in the program, and in tests
// (zvtest::ResetSeams) a failure of the test that names the request.
template <class Request, class Answer> class TZvSeam
{
public:
    using Handler = std::function<Answer(const Request&)>;

    explicit TZvSeam(Handler fallback) : m_fallback(std::move(fallback)), m_defaultFallback(m_fallback) {}

    Answer call(const Request& request)
    {
        m_history.append(request);
        if (!m_answers.isEmpty()) return m_answers.takeFirst();
        if (m_handler) return m_handler(request);
        return m_fallback(request);
    }
    void setHandler(Handler handler) { m_handler = std::move(handler); }
    bool hasHandler() const { return bool(m_handler); }
    void queueAnswer(Answer answer) { m_answers.append(std::move(answer)); }
    const QList<Request>& history() const { return m_history; }
    // What answers when nothing is queued and no handler is set (tests make it fail).
    void setFallback(Handler fallback) { m_fallback = fallback ? std::move(fallback) : m_defaultFallback; }
    // Test side: queued answers, history, handler and fallback back to the start.
    void reset()
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
// that shows a real QMessageBox; tests install none, queue answers and read the log.
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

class MessageSeam
{
public:
    using Handler = std::function<int(const MessageRequest&)>;

    static int show(const MessageRequest& request);
    static void setHandler(Handler handler);

    // Test side: answers are taken in order; with none queued the box answers OK (or Yes).
    static void queueAnswer(int answer);
    static const QList<MessageRequest>& history();
    static QStringList texts(); // the texts shown so far, in order
    static void reset();
};

// ---- Clock and zone -----------------------------------------------------------------
class Clock
{
public:
    static QDateTime now(); // local time
    // Tests: pin the clock (or move it by an offset from the real one).
    static void setFixed(const std::optional<QDateTime>& fixed);
    static void setOffsetMs(qint64 offset);
    // Tests: the zone's bias (UTC minus local, in minutes) used by CurrentUtcBias.
    static void setUtcBiasOverride(std::optional<int> biasMinutes);
    static std::optional<int> utcBiasOverride();
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

// The print dialog on the caller's printer; true when the user chose to print.
struct PrintDialogRequest
{
    QWidget* parent = nullptr;
    QPrinter* printer = nullptr;
};
TZvSeam<PrintDialogRequest, bool>& PrintDialogSeam();

} // namespace zv
