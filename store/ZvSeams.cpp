#include "ZvSeams.h"

#include "ZvDb.h"

#include <QQueue>

namespace zv {

namespace {
struct MessageState
{
    MessageSeam::Handler handler;
    QQueue<int> answers;
    QList<MessageRequest> history;
};
MessageState& messages()
{
    static MessageState state;
    return state;
}

struct ClockState
{
    std::optional<QDateTime> fixed;
    qint64 offsetMs = 0;
    std::optional<int> bias;
};
ClockState& clock()
{
    static ClockState state;
    return state;
}
} // namespace

int MessageSeam::show(const MessageRequest& request)
{
    // A message box runs an event loop of its own: nothing may wait uncommitted behind it.
    CheckDurable("a message box");
    MessageState& s = messages();
    s.history.append(request);
    if (!s.answers.isEmpty()) return s.answers.dequeue();
    if (s.handler) return s.handler(request);
    return request.buttons == MsgButtons::YesNo ? IdYes : IdOk;
}

void MessageSeam::setHandler(Handler handler)
{
    messages().handler = std::move(handler);
}

void MessageSeam::queueAnswer(int answer)
{
    messages().answers.enqueue(answer);
}

const QList<MessageRequest>& MessageSeam::history()
{
    return messages().history;
}

QStringList MessageSeam::texts()
{
    QStringList out;
    for (const MessageRequest& r : messages().history)
        out << r.text;
    return out;
}

void MessageSeam::reset()
{
    messages().answers.clear();
    messages().history.clear();
}

QDateTime Clock::now()
{
    const ClockState& c = clock();
    if (c.fixed) return *c.fixed;
    QDateTime t = QDateTime::currentDateTime();
    return c.offsetMs ? t.addMSecs(c.offsetMs) : t;
}

void Clock::setFixed(const std::optional<QDateTime>& fixed)
{
    clock().fixed = fixed;
}

void Clock::setOffsetMs(qint64 offset)
{
    clock().offsetMs = offset;
}

void Clock::setUtcBiasOverride(std::optional<int> biasMinutes)
{
    clock().bias = biasMinutes;
}

std::optional<int> Clock::utcBiasOverride()
{
    return clock().bias;
}

TZvSeam<MailProcessRequest, MailProcessResult>& MailProcessSeam()
{
    // Without the real handler nothing is started: the send ends as the silent abort.
    static TZvSeam<MailProcessRequest, MailProcessResult> seam(
        [](const MailProcessRequest&) { return MailProcessResult{}; });
    return seam;
}

TZvSeam<PrintDialogRequest, bool>& PrintDialogSeam()
{
    static TZvSeam<PrintDialogRequest, bool> seam([](const PrintDialogRequest&) { return false; });
    return seam;
}

} // namespace zv
