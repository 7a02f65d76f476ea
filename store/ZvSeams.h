#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace zv {

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

} // namespace zv
