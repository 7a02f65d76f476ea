#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace zv {

class TSingleInstance;

// The program's command line: quick capture (--add-task, --add-memo), the window commands
// (--new-task, --new-memo, --show), one sync (--sync) and --help, --version, --verbose.
// Without options the program starts as it always has.
struct TZvCommandLine
{
    enum class Action
    {
        Start,   // no option: the program (or the running one comes forward)
        Help,    // --help
        Version, // --version
        AddTask, // --add-task TEXT
        AddMemo, // --add-memo TEXT
        NewTask, // --new-task
        NewMemo, // --new-memo
        Show,    // --show
        Sync,    // --sync
        Invalid  // error says why; the usage follows, exit code 2
    };

    // Exit codes of a command.
    static constexpr int kDone = 0;
    static constexpr int kFailed = 1;   // could not be done (database, running instance)
    static constexpr int kBadInput = 2; // the command line or the text is not acceptable

    Action action = Action::Start;
    QString text; // AddTask, AddMemo: as given ("-" stands for standard input)
    bool verbose = false;
    QString error;

    // The arguments after the program name.
    static TZvCommandLine Parse(const QStringList& arguments);
    static QString Usage(const QString& program);

    // The command as a request to the running instance ("text" is added for the two
    // capture commands once the text is known).
    QJsonObject Request() const;
    // The window commands: handed to a running instance, or this process starts the program.
    bool StartsWindow() const
    {
        return action == Action::Start || action == Action::NewTask || action == Action::NewMemo ||
               action == Action::Show;
    }
};

// The text of --add-task / --add-memo: the argument, or for "-" all of standard input, with
// CR LF line breaks. Empty text (nothing but blanks and line breaks), text over 1 MB and
// text that is not UTF-8 are refused with error set.
bool CaptureText(const QString& argument, std::FILE* input, QString* text, QString* error);

// Stores the text as a new task (or memo) in the program folder's database, as the tray's
// Paste does, without a window. Returns its id; raises EZvError with the database's message.
QString StoreTextAlone(const QString& programFolder, bool task, const QString& text);

// --add-task / --add-memo from start to end: the text, the running instance or the database
// itself (holding the single-instance lock), the output and the exit code.
int RunCapture(const TZvCommandLine& command, TSingleInstance& instance, const QString& programFolder,
               std::FILE* input, std::FILE* out, std::FILE* err);

// --sync from start to end: the running instance syncs and answers, or this process syncs
// the database itself (holding the single-instance lock). The summary on standard output
// ("synced: 3 up, 5 down, 0 conflicts") and 0, or one line why not and 1.
int RunSync(const TZvCommandLine& command, TSingleInstance& instance, const QString& programFolder,
            const QString& appVersion, std::FILE* out, std::FILE* err);

// One line for the user on standard error: "jotboard: <text>".
void PrintError(std::FILE* err, const QString& text);

} // namespace zv
