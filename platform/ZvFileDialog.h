#pragma once

#include "store/ZvSeams.h"

#include <QString>
#include <QStringList>
#include <functional>

class QFileDialog;
class QPrintDialog;

namespace zv {

// ---- File dialogs -------------------------------------------------------------------
// A dialog object in the program (so the default suffix and the overwrite question hold).
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
    QWidget* parent = nullptr; // filled in by run()
};

struct FileDialogResult
{
    QString fileName;    // empty when cancelled
    int filterIndex = 0; // 0-based index into filters (or 0)
};

class FileDialogSeam
{
public:
    using Seam = TZvSeam<FileDialogRequest, FileDialogResult>;
    using Handler = std::function<FileDialogResult(QWidget* parent, const FileDialogRequest&)>;

    // Without an answer or a handler the dialog is cancelled (the program installs the
    // real one; after zvtest::ResetSeams the test fails).
    static FileDialogResult run(QWidget* parent, const FileDialogRequest& request);
    static void setHandler(Handler handler);
    // Tests: the next dialog answers with this name (empty = cancel) and filter.
    static void setNextFileName(const QString& fileName, int filterIndex = 0);
    static void reset();
    static Seam& seam();
};

// The program's file dialogs. Each is Qt's own dialog (a desktop's native one runs inside
// this process too, out of our reach) with an icon provider that judges a file by its name:
// the default one reads a file's first bytes to find its type, and opening and closing the
// database file that way drops SQLite's locks on it (see store/ZvDbLocks.h).

// A dialog configured from the request, not yet shown; the caller owns it.
QFileDialog* NewFileDialog(const FileDialogRequest& request);

// Makes a dialog made elsewhere read nothing of the files it lists.
void ShieldFileDialog(QFileDialog& dialog);

// The real handler of FileDialogSeam: NewFileDialog, run modally.
FileDialogResult RunFileDialog(const FileDialogRequest& request);

// Qt's print dialog chooses its output file with a dialog of its own making; its browse
// button is given ours instead, through FileDialogSeam. False when the dialog no longer
// has the button (a Qt that renamed it).
bool ShieldPrintDialog(QPrintDialog& dialog);

} // namespace zv
