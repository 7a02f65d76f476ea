#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <optional>

class QWidget;

namespace zv {

// The one seam for every call that blocks or touches the desktop. The program uses the
// real implementations; a test replaces any of them before the action runs.

// File dialogs: a dialog object (so the default suffix and the overwrite question hold).
struct FileDialogRequest
{
    enum class Mode
    {
        Open,
        Save
    } mode = Mode::Open;
    QString caption;
    QString filter;        // Qt filter text, e.g. "Zorvik Database (*.zvx)"
    QStringList filters;   // several filters; the chosen one's index is returned
    QString defaultSuffix; // without the dot
    bool confirmOverwrite = true;
    QString directory;
};

struct FileDialogResult
{
    QString fileName;    // empty when cancelled
    int filterIndex = 0; // 0-based index into filters (or 0)
};

class FileDialogSeam
{
public:
    using Handler = std::function<FileDialogResult(QWidget* parent, const FileDialogRequest&)>;
    static FileDialogResult run(QWidget* parent, const FileDialogRequest& request);
    static void setHandler(Handler handler);
    // Tests: the next dialog answers with this name (empty = cancel) and filter.
    static void setNextFileName(const QString& fileName, int filterIndex = 0);
    static void reset();
};

class ClipboardSeam
{
public:
    static QString text();
    static void setText(const QString& text);
    // Tests: keep the clipboard in memory instead of the system's.
    static void useMemoryClipboard(bool on);
};

class DesktopSeam
{
public:
    using Handler = std::function<bool(const QUrl&)>;
    static bool openUrl(const QUrl& url);
    static void setHandler(Handler handler); // tests record the addresses
};

class SoundSeam
{
public:
    using Handler = std::function<void(const QString& path)>;
    // Plays the file once, without blocking; falls back to a beep.
    static void play(const QString& path);
    static void setHandler(Handler handler);
};

} // namespace zv
