#include "store/ZvSeams.h"

#include "store/ZvDb.h"

#include <algorithm>
#include <vector>

namespace zv {

// ---- Every seam -----------------------------------------------------------------------

namespace {
std::vector<TZvSeamBase*>& seams()
{
    static std::vector<TZvSeamBase*> all;
    return all;
}
} // namespace

TZvSeamBase::TZvSeamBase()
{
    seams().push_back(this);
}

TZvSeamBase::~TZvSeamBase()
{
    std::vector<TZvSeamBase*>& all = seams();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
}

void TZvSeamBase::resetAll()
{
    for (TZvSeamBase* seam : seams())
        seam->reset();
}

// ---- Message boxes --------------------------------------------------------------------

int ClosedBoxAnswer(MsgButtons buttons)
{
    return buttons == MsgButtons::Ok ? IdOk : IdCancel;
}

MessageSeam::Seam& MessageSeam::seam()
{
    static Seam s([](const MessageRequest& r) { return r.buttons == MsgButtons::YesNo ? IdYes : IdOk; });
    return s;
}

int MessageSeam::show(const MessageRequest& request)
{
    // A message box runs an event loop of its own: nothing may wait uncommitted behind it.
    CheckDurable("a message box");
    const int answer = seam().call(request);
    // Error boxes are shown from catch handlers: no new error from here. Locks that cannot
    // be secured are reported by the next write and at the end of the action.
    try {
        CheckDatabaseLocks("a message box");
    } catch (const std::exception&) {
    }
    return answer;
}

void MessageSeam::setHandler(Handler handler)
{
    seam().setHandler(std::move(handler));
}

void MessageSeam::queueAnswer(int answer)
{
    seam().queueAnswer(answer);
}

const QList<MessageRequest>& MessageSeam::history()
{
    return seam().history();
}

QStringList MessageSeam::texts()
{
    QStringList out;
    for (const MessageRequest& r : seam().history())
        out << r.text;
    return out;
}

void MessageSeam::reset()
{
    seam().reset();
}

// ---- Clipboard ------------------------------------------------------------------------

namespace {
QString& memoryClipboard()
{
    static QString text;
    return text;
}

// Only a write changes the memory: its reset empties it, so that no test finds another's
// text.
class TZvClipboardWriteSeam final : public ClipboardSeam::WriteSeam
{
public:
    TZvClipboardWriteSeam()
        : ClipboardSeam::WriteSeam([](const QString& text) {
              memoryClipboard() = text;
              return true;
          })
    {}
    void reset() override
    {
        ClipboardSeam::WriteSeam::reset();
        memoryClipboard().clear();
    }
};
} // namespace

ClipboardSeam::ReadSeam& ClipboardSeam::reads()
{
    static ReadSeam s([](const SeamQuery&) { return memoryClipboard(); });
    return s;
}

ClipboardSeam::WriteSeam& ClipboardSeam::writes()
{
    static TZvClipboardWriteSeam s;
    return s;
}

QString ClipboardSeam::text()
{
    return reads().call({});
}

void ClipboardSeam::setText(const QString& text)
{
    writes().call(text);
}

void ClipboardSeam::useMemoryClipboard(bool on)
{
    if (!on) return;
    reads().setHandler(nullptr);
    writes().setHandler(nullptr);
    memoryClipboard().clear();
}

// ---- Desktop --------------------------------------------------------------------------

DesktopSeam::Seam& DesktopSeam::seam()
{
    static Seam s([](const QUrl&) { return false; });
    return s;
}

bool DesktopSeam::openUrl(const QUrl& url)
{
    return seam().call(url);
}

void DesktopSeam::setHandler(Handler handler)
{
    seam().setHandler(std::move(handler));
}

// ---- Sound ----------------------------------------------------------------------------

SoundSeam::Seam& SoundSeam::seam()
{
    static Seam s([](const QString&) { return false; });
    return s;
}

void SoundSeam::play(const QString& path)
{
    seam().call(path);
}

void SoundSeam::setHandler(Handler handler)
{
    if (!handler) {
        seam().setHandler(nullptr);
        return;
    }
    seam().setHandler([handler = std::move(handler)](const QString& path) {
        handler(path);
        return true;
    });
}

// ---- Tray host ------------------------------------------------------------------------

TrayHostSeam::Seam& TrayHostSeam::seam()
{
    static Seam s([](const SeamQuery&) { return false; });
    return s;
}

bool TrayHostSeam::available()
{
    return seam().call({});
}

namespace {
// A seam that only says whether something is there: a fixed answer, or none (nullopt).
void setPresence(TZvSeam<SeamQuery, bool>& seam, std::optional<bool> there)
{
    if (there)
        seam.setHandler([answer = *there](const SeamQuery&) { return answer; });
    else
        seam.setHandler(nullptr);
}
} // namespace

void TrayHostSeam::setAvailable(std::optional<bool> available)
{
    setPresence(seam(), available);
}

// ---- StatusNotifierItem host ------------------------------------------------------------

StatusNotifierHostSeam::Seam& StatusNotifierHostSeam::seam()
{
    static Seam s([](const SeamQuery&) { return false; });
    return s;
}

bool StatusNotifierHostSeam::available()
{
    return seam().call({});
}

void StatusNotifierHostSeam::setAvailable(std::optional<bool> available)
{
    setPresence(seam(), available);
}

// ---- Clock and zone -------------------------------------------------------------------

namespace {
// The conveniences live in the seam, so that they go with its reset.
class TZvClockSeam final : public Clock::Seam
{
public:
    TZvClockSeam()
        : Clock::Seam([this](const SeamQuery&) {
              if (fixed) return *fixed;
              const QDateTime t = QDateTime::currentDateTime();
              return offsetMs ? t.addMSecs(offsetMs) : t;
          })
    {}
    void reset() override
    {
        Clock::Seam::reset();
        fixed.reset();
        offsetMs = 0;
        bias.reset();
    }

    std::optional<QDateTime> fixed;
    qint64 offsetMs = 0;
    std::optional<int> bias;
};

TZvClockSeam& clockSeam()
{
    return static_cast<TZvClockSeam&>(Clock::seam());
}
} // namespace

Clock::Seam& Clock::seam()
{
    static TZvClockSeam s;
    return s;
}

QDateTime Clock::now()
{
    return seam().call({});
}

void Clock::setFixed(const std::optional<QDateTime>& fixed)
{
    clockSeam().fixed = fixed;
}

void Clock::setOffsetMs(qint64 offset)
{
    clockSeam().offsetMs = offset;
}

void Clock::setUtcBiasOverride(std::optional<int> biasMinutes)
{
    clockSeam().bias = biasMinutes;
}

std::optional<int> Clock::utcBiasOverride()
{
    return clockSeam().bias;
}

TZvSeam<MailProcessRequest, MailProcessResult>& MailProcessSeam()
{
    // Without the real handler nothing is started: the send ends as the silent abort.
    static TZvSeam<MailProcessRequest, MailProcessResult> seam(
        [](const MailProcessRequest&) { return MailProcessResult{}; });
    return seam;
}

TZvSeam<NetworkRequest, NetworkIntercept>& NetworkSeam()
{
    static TZvSeam<NetworkRequest, NetworkIntercept> seam(
        [](const NetworkRequest&) { return NetworkIntercept{}; });
    return seam;
}

TZvSeam<SecretRequest, SecretAnswer>& SecretSeam()
{
    static TZvSeam<SecretRequest, SecretAnswer> seam([](const SecretRequest&) { return SecretAnswer{}; });
    return seam;
}

TZvSeam<QString, std::optional<QString>>& PasswordPromptSeam()
{
    static TZvSeam<QString, std::optional<QString>> seam(
        [](const QString&) { return std::optional<QString>(); });
    return seam;
}

} // namespace zv
