#include "ZvSystem.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>
#include <optional>

namespace zv {

// ---- File dialogs -----------------------------------------------------------------------

namespace {
struct FileDialogState
{
    FileDialogSeam::Handler handler;
    std::optional<FileDialogResult> next;
};
FileDialogState& fileDialogs()
{
    static FileDialogState s;
    return s;
}

FileDialogResult realFileDialog(QWidget* parent, const FileDialogRequest& r)
{
    QFileDialog dialog(parent, r.caption, r.directory);
    dialog.setAcceptMode(r.mode == FileDialogRequest::Mode::Save ? QFileDialog::AcceptSave
                                                                 : QFileDialog::AcceptOpen);
    dialog.setFileMode(r.mode == FileDialogRequest::Mode::Save ? QFileDialog::AnyFile
                                                               : QFileDialog::ExistingFile);
    const QStringList filters = r.filters.isEmpty() ? QStringList{r.filter} : r.filters;
    dialog.setNameFilters(filters);
    if (!r.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(r.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
    dialog.setOption(QFileDialog::ReadOnly, false);
    FileDialogResult result;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        result.fileName = dialog.selectedFiles().first();
        result.filterIndex = std::max<int>(0, int(filters.indexOf(dialog.selectedNameFilter())));
    }
    return result;
}
} // namespace

FileDialogResult FileDialogSeam::run(QWidget* parent, const FileDialogRequest& request)
{
    FileDialogState& s = fileDialogs();
    if (s.next) {
        FileDialogResult r = *s.next;
        s.next.reset();
        return r;
    }
    if (s.handler) return s.handler(parent, request);
    return realFileDialog(parent, request);
}

void FileDialogSeam::setHandler(Handler handler)
{
    fileDialogs().handler = std::move(handler);
}

void FileDialogSeam::setNextFileName(const QString& fileName, int filterIndex)
{
    fileDialogs().next = FileDialogResult{fileName, filterIndex};
}

void FileDialogSeam::reset()
{
    fileDialogs().next.reset();
    fileDialogs().handler = nullptr;
}

// ---- Clipboard ----------------------------------------------------------------------------

namespace {
struct ClipboardState
{
    bool memory = false;
    QString text;
};
ClipboardState& clipboard()
{
    static ClipboardState s;
    return s;
}
} // namespace

QString ClipboardSeam::text()
{
    if (clipboard().memory) return clipboard().text;
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

void ClipboardSeam::setText(const QString& text)
{
    if (clipboard().memory)
        clipboard().text = text;
    else
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

void ClipboardSeam::useMemoryClipboard(bool on)
{
    clipboard().memory = on;
    clipboard().text.clear();
}

// ---- Desktop ------------------------------------------------------------------------------

namespace {
DesktopSeam::Handler& desktopHandler()
{
    static DesktopSeam::Handler h;
    return h;
}
} // namespace

bool DesktopSeam::openUrl(const QUrl& url)
{
    if (desktopHandler()) return desktopHandler()(url);
    return QDesktopServices::openUrl(url);
}

void DesktopSeam::setHandler(Handler handler)
{
    desktopHandler() = std::move(handler);
}

// ---- Sound --------------------------------------------------------------------------------

namespace {
SoundSeam::Handler& soundHandler()
{
    static SoundSeam::Handler h;
    return h;
}
} // namespace

void SoundSeam::play(const QString& path)
{
    if (soundHandler()) {
        soundHandler()(path);
        return;
    }
    // QSoundEffect plays asynchronously and copes with a missing audio device; a file that
    // cannot be played gives the system's beep instead.
    static QSoundEffect* effect = nullptr;
    if (!QFileInfo::exists(path)) {
        QApplication::beep();
        return;
    }
    if (!effect) {
        effect = new QSoundEffect(qApp);
        QObject::connect(effect, &QSoundEffect::statusChanged, effect, [] {
            if (effect->status() == QSoundEffect::Error) QApplication::beep();
        });
    }
    const QUrl url = QUrl::fromLocalFile(path);
    if (effect->source() != url) effect->setSource(url);
    effect->setLoopCount(1);
    effect->play();
}

void SoundSeam::setHandler(Handler handler)
{
    soundHandler() = std::move(handler);
}

} // namespace zv
