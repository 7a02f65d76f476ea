#pragma once

#include "ZvSeams.h"

class QFileDialog;
class QPrintDialog;

namespace zv {

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
