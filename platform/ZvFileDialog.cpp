#include "platform/ZvFileDialog.h"

#include "store/ZvDb.h"

#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPrintDialog>
#include <QToolButton>
#include <algorithm>
#include <memory>

namespace zv {

namespace {

// Icons and type names from the file's name alone. Folders and drives keep the base
// class's answers, which look at nothing inside them.
class TNameIconProvider : public QAbstractFileIconProvider
{
public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override
    {
        if (!info.isFile()) return QAbstractFileIconProvider::icon(info.isDir() ? Folder : File);
        const QMimeType type = m_mimes.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
        return QIcon::fromTheme(
            type.iconName(), QIcon::fromTheme(type.genericIconName(), QAbstractFileIconProvider::icon(File)));
    }
    QString type(const QFileInfo& info) const override
    {
        if (!info.isFile()) return QAbstractFileIconProvider::type(info);
        const QMimeType type = m_mimes.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
        return type.comment().isEmpty() ? type.name() : type.comment();
    }

private:
    QMimeDatabase m_mimes;
};

TNameIconProvider& nameIconProvider()
{
    static TNameIconProvider provider;
    return provider;
}

} // namespace

FileDialogSeam::Seam& FileDialogSeam::seam()
{
    static Seam s([](const FileDialogRequest&) { return FileDialogResult{}; });
    return s;
}

FileDialogResult FileDialogSeam::run(QWidget* parent, const FileDialogRequest& request)
{
    FileDialogRequest r = request;
    r.parent = parent;
    const FileDialogResult result = seam().call(r);
    // A file dialog lists the program folder: whatever read the files there, the database
    // must still be locked.
    CheckDatabaseLocks("a file dialog");
    return result;
}

void FileDialogSeam::setHandler(Handler handler)
{
    if (!handler) {
        seam().setHandler(nullptr);
        return;
    }
    seam().setHandler(
        [handler = std::move(handler)](const FileDialogRequest& r) { return handler(r.parent, r); });
}

void FileDialogSeam::setNextFileName(const QString& fileName, int filterIndex)
{
    seam().queueAnswer(FileDialogResult{fileName, filterIndex});
}

void FileDialogSeam::reset()
{
    seam().reset();
}

void ShieldFileDialog(QFileDialog& dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons, true);
    dialog.setIconProvider(&nameIconProvider());
}

QFileDialog* NewFileDialog(const FileDialogRequest& r)
{
    // Shielded before a folder is set: setting one starts reading it.
    // An empty caption leaves Qt's own ("Open", "Save As"), which follows the accept mode.
    auto* dialog = new QFileDialog(r.parent, r.caption);
    ShieldFileDialog(*dialog);
    dialog->setAcceptMode(r.mode == FileDialogRequest::Mode::Save ? QFileDialog::AcceptSave
                                                                  : QFileDialog::AcceptOpen);
    dialog->setFileMode(r.mode == FileDialogRequest::Mode::Save ? QFileDialog::AnyFile
                                                                : QFileDialog::ExistingFile);
    QStringList filters = r.filters.isEmpty() ? QStringList{r.filter} : r.filters;
    filters.removeAll(QString());
    if (!filters.isEmpty()) dialog->setNameFilters(filters);
    if (!r.defaultSuffix.isEmpty()) dialog->setDefaultSuffix(r.defaultSuffix);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
    dialog->setOption(QFileDialog::ReadOnly, false);
    if (!r.directory.isEmpty()) {
        const QFileInfo start(r.directory);
        if (start.isDir()) {
            dialog->setDirectory(r.directory);
        } else {
            dialog->setDirectory(start.absolutePath());
            dialog->selectFile(start.fileName());
        }
    }
    return dialog;
}

FileDialogResult RunFileDialog(const FileDialogRequest& r)
{
    const std::unique_ptr<QFileDialog> dialog(NewFileDialog(r));
    FileDialogResult result;
    if (dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
        result.fileName = dialog->selectedFiles().first();
        const QStringList filters = dialog->nameFilters();
        result.filterIndex = std::max<int>(0, int(filters.indexOf(dialog->selectedNameFilter())));
    }
    return result;
}

bool ShieldPrintDialog(QPrintDialog& dialog)
{
    auto* browse = dialog.findChild<QToolButton*>(QStringLiteral("fileBrowser"));
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("filename"));
    if (!browse || !name) return false;
    // Qt connects the button by its old-style signature, which names either form.
    QObject::disconnect(browse, SIGNAL(clicked()), nullptr, nullptr);
    QObject::disconnect(browse, SIGNAL(clicked(bool)), nullptr, nullptr);
    QObject::connect(browse, &QToolButton::clicked, name, [&dialog, name] {
        FileDialogRequest request;
        request.mode = FileDialogRequest::Mode::Save;
        request.caption = QPrintDialog::tr("Print To File ...");
        request.directory = name->text();
        // The print dialog asks before it replaces a file.
        request.confirmOverwrite = false;
        const FileDialogResult chosen = FileDialogSeam::run(&dialog, request);
        if (!chosen.fileName.isEmpty()) name->setText(chosen.fileName);
    });
    return true;
}

} // namespace zv
