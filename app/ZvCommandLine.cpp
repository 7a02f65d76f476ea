#include "app/ZvCommandLine.h"

#include "interchange/ZvRecords.h"
#include "interchange/ZvRows.h"
#include "platform/ZvSingleInstance.h"
#include "store/ZvDb.h"
#include "store/ZvError.h"
#include "store/pU_Funcs.h"
#include "sync/ZvSyncSettings.h"

#include <QCoreApplication>
#include <QStringDecoder>

namespace zv {

namespace {

QString ctr(const char* text)
{
    return QCoreApplication::translate("TZvCommandLine", text);
}

const QString kProgram = QStringLiteral("jotboard");

struct Option
{
    const char* name;
    TZvCommandLine::Action action;
    bool takesText;
};

constexpr Option kOptions[] = {
    {"--help", TZvCommandLine::Action::Help, false},
    {"--version", TZvCommandLine::Action::Version, false},
    {"--add-task", TZvCommandLine::Action::AddTask, true},
    {"--add-memo", TZvCommandLine::Action::AddMemo, true},
    {"--new-task", TZvCommandLine::Action::NewTask, false},
    {"--new-memo", TZvCommandLine::Action::NewMemo, false},
    {"--show", TZvCommandLine::Action::Show, false},
    {"--sync", TZvCommandLine::Action::Sync, false},
};

void print(std::FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void PrintError(std::FILE* err, const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1Char(' '));
    print(err, kProgram + QStringLiteral(": ") + line + QLatin1Char('\n'));
}

TZvCommandLine TZvCommandLine::Parse(const QStringList& arguments)
{
    TZvCommandLine c;
    const auto invalid = [&c](const QString& why) {
        c.action = Action::Invalid;
        c.error = why;
        return c;
    };
    bool actionSeen = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        if (arg == QLatin1String("--verbose")) {
            c.verbose = true;
            continue;
        }
        // "--add-task=TEXT" as well as "--add-task TEXT".
        QString name = arg;
        QString value;
        bool inlineValue = false;
        if (arg.startsWith(QLatin1String("--")) && arg.contains(QLatin1Char('='))) {
            name = arg.section(QLatin1Char('='), 0, 0);
            value = arg.section(QLatin1Char('='), 1);
            inlineValue = true;
        }
        const Option* found = nullptr;
        for (const Option& o : kOptions)
            if (name == QLatin1String(o.name)) found = &o;
        if (!found) {
            if (arg.startsWith(QLatin1Char('-'))) return invalid(ctr("unknown option '%1'").arg(arg));
            return invalid(ctr("unexpected argument '%1'").arg(arg));
        }
        if (actionSeen) return invalid(ctr("only one of the options may be given ('%1')").arg(name));
        actionSeen = true;
        c.action = found->action;
        if (found->takesText) {
            if (!inlineValue) {
                // The next argument is the text, whatever it looks like ("-" is standard input).
                if (i + 1 >= arguments.size()) return invalid(ctr("option '%1' needs a text").arg(name));
                value = arguments.at(++i);
            }
            c.text = value;
        } else if (inlineValue) {
            return invalid(ctr("option '%1' takes no value").arg(name));
        }
    }
    return c;
}

QString TZvCommandLine::Usage(const QString& program)
{
    return ctr("Usage: %1 [OPTION]\n"
               "Zorvik Jotboard: a to-do list and memos in the notification area.\n"
               "Without an option it starts, or brings the running program forward.\n"
               "\n"
               "  --add-task TEXT  store TEXT as a new task (\"-\" reads standard input)\n"
               "  --add-memo TEXT  store TEXT as a new memo (\"-\" reads standard input)\n"
               "  --new-task       show the window and start adding a task\n"
               "  --new-memo       show the window and start adding a memo\n"
               "  --show           show the window (starts the program when it is not running)\n"
               "  --sync           sync with the CalDAV server of zvConf.ini's section \"sync\"\n"
               "                   (password: the secret store, or ZVJ_SYNC_PASSWORD)\n"
               "  --verbose        say what was done\n"
               "  --help           show this help and exit\n"
               "  --version        show the version and exit\n"
               "\n"
               "With the program running, the command is handed to it. Otherwise --add-task,\n"
               "--add-memo and --sync work on the program folder's database themselves, without\n"
               "a window, and the other options start the program.\n"
               "Exit status: 0 done, 1 failed, 2 bad command line or text.\n")
        .arg(program);
}

QJsonObject TZvCommandLine::Request() const
{
    QString command;
    switch (action) {
    case Action::Start:
        command = QStringLiteral("activate");
        break;
    case Action::AddTask:
        command = QStringLiteral("add-task");
        break;
    case Action::AddMemo:
        command = QStringLiteral("add-memo");
        break;
    case Action::NewTask:
        command = QStringLiteral("new-task");
        break;
    case Action::NewMemo:
        command = QStringLiteral("new-memo");
        break;
    case Action::Show:
        command = QStringLiteral("show");
        break;
    case Action::Sync:
        command = QStringLiteral("sync");
        break;
    case Action::Help:
    case Action::Version:
    case Action::Invalid:
        break;
    }
    QJsonObject request{{QStringLiteral("command"), command}};
    // The window may only come forward with the token the desktop gave this start.
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (!token.isEmpty()) request.insert(QStringLiteral("token"), token);
    return request;
}

bool CaptureText(const QString& argument, std::FILE* input, QString* text, QString* error)
{
    QString raw = argument;
    if (argument == QLatin1String("-")) {
        // All of standard input is one item; reading stops as soon as it is too long.
        QByteArray bytes;
        char chunk[65536];
        for (;;) {
            const size_t n = std::fread(chunk, 1, sizeof chunk, input);
            if (n > 0) bytes.append(chunk, qsizetype(n));
            if (bytes.size() > InstanceWire::kMaxTextBytes) {
                *error = ctr("the text is longer than 1 MB");
                return false;
            }
            if (n < sizeof chunk) {
                if (std::ferror(input)) {
                    *error = ctr("standard input could not be read");
                    return false;
                }
                if (std::feof(input)) break;
            }
        }
        QStringDecoder decoder(QStringDecoder::Utf8);
        raw = decoder.decode(bytes);
        if (decoder.hasError()) {
            *error = ctr("the text is not UTF-8 text");
            return false;
        }
    }
    if (raw.toUtf8().size() > InstanceWire::kMaxTextBytes) {
        *error = ctr("the text is longer than 1 MB");
        return false;
    }
    if (raw.contains(QChar(0))) {
        *error = ctr("the text holds a NUL character");
        return false;
    }
    raw = CrLfLines(raw);
    if (TrimBoth(raw).isEmpty()) {
        *error = ctr("the text is empty");
        return false;
    }
    *text = raw;
    return true;
}

namespace {

// The request handed to the running instance: the exit code, with `done` told what it
// answered when it went well; nothing when none runs (this process holds the lock now).
std::optional<int> handOff(TSingleInstance& instance, const QJsonObject& request, std::FILE* err,
                           const std::function<void(const InstanceAnswer&)>& done,
                           const TSingleInstance::ProgressHandler& progress = {})
{
    InstanceAnswer answer;
    switch (instance.HandOff(request, &answer, progress)) {
    case TSingleInstance::Outcome::HandedOver:
        if (!answer.ok) break;
        done(answer);
        return TZvCommandLine::kDone;
    case TSingleInstance::Outcome::Failed:
        break;
    case TSingleInstance::Outcome::Alone:
        return std::nullopt;
    }
    PrintError(err, answer.error);
    return TZvCommandLine::kFailed;
}

template <class R> QString storeAlone(TADOConnection& connection, const QString& text)
{
    TADOQuery q(&connection);
    R r = TZvRows<R>::FromText(text);
    TZvRows<R>::InsertFromText(q, r);
    return TZvRows<R>::Id(r);
}
} // namespace

QString StoreTextAlone(const QString& programFolder, bool task, const QString& text)
{
    TADOConnection connection;
    connection.setConnectionString(TADOConnection::BuildConnectionString(programFolder));
    connection.Open();
    const QString id =
        task ? storeAlone<TTaskInfo>(connection, text) : storeAlone<TMemoInfo>(connection, text);
    // Written back into the database file, as at Exit: nothing is left in the journal.
    connection.checkpoint();
    connection.Close();
    return id;
}

int RunCapture(const TZvCommandLine& command, TSingleInstance& instance, const QString& programFolder,
               std::FILE* input, std::FILE* out, std::FILE* err)
{
    const bool task = command.action == TZvCommandLine::Action::AddTask;
    QString text, error;
    if (!CaptureText(command.text, input, &text, &error)) {
        PrintError(err, error);
        return TZvCommandLine::kBadInput;
    }
    QJsonObject request = command.Request();
    request.insert(QStringLiteral("text"), text);
    const QString kind = task ? ctr("task") : ctr("memo");

    const std::optional<int> handed = handOff(instance, request, err, [&](const InstanceAnswer& answer) {
        if (command.verbose)
            print(out, ctr("Added %1 %2 (handed to the running program)\n").arg(kind, answer.id));
    });
    if (handed) return *handed;
    // No instance runs, and none can start before this is written: a start meanwhile waits
    // for the lock.
    QString id;
    try {
        id = StoreTextAlone(programFolder, task, text);
    } catch (const EZvError& e) {
        instance.Unlock();
        PrintError(err, e.message());
        return TZvCommandLine::kFailed;
    }
    instance.Unlock();
    if (command.verbose) print(out, ctr("Added %1 %2 (stored in %3)\n").arg(kind, id, programFolder));
    return TZvCommandLine::kDone;
}

int RunSync(const TZvCommandLine& command, TSingleInstance& instance, const QString& programFolder,
            const QString& appVersion, std::FILE* out, std::FILE* err)
{
    const auto progress = [&](const QString& line) {
        if (command.verbose) print(err, line + QLatin1Char('\n'));
    };
    const std::optional<int> handed = handOff(
        instance, command.Request(), err,
        [&](const InstanceAnswer& answer) { print(out, answer.message + QLatin1Char('\n')); }, progress);
    if (handed) return *handed;
    // No instance runs, and none starts before this sync ends: a start meanwhile waits.
    const TZvSyncResult result = RunSyncAlone(programFolder, appVersion, [&](int done, int total) {
        progress(ctr("Syncing… %1 of %2").arg(done).arg(total));
    });
    instance.Unlock();
    for (const QString& note : result.notes)
        PrintError(err, note);
    if (!result.succeeded()) {
        PrintError(err, result.line());
        return TZvCommandLine::kFailed;
    }
    print(out, result.summary() + QLatin1Char('\n'));
    return TZvCommandLine::kDone;
}

} // namespace zv
