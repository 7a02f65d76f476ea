#include "platform/ZvSystem.h"

#include "platform/ZvFileDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFileInfo>
#include <QSoundEffect>
#include <QSystemTrayIcon>
#include <QUrl>

namespace zv {

namespace {

// ---- Sound --------------------------------------------------------------------------------

bool realSound(const QString& path)
{
    // QSoundEffect plays asynchronously and copes with a missing audio device; a file that
    // cannot be played gives the system's beep instead.
    static QSoundEffect* effect = nullptr;
    if (!QFileInfo::exists(path)) {
        QApplication::beep();
        return false;
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
    return true;
}
} // namespace

void InstallSystemHandlers()
{
    FileDialogSeam::seam().setHandler(RunFileDialog);
    ClipboardSeam::reads().setHandler(
        [](const SeamQuery&) { return QGuiApplication::clipboard()->text(QClipboard::Clipboard); });
    ClipboardSeam::writes().setHandler([](const QString& text) {
        QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
        return true;
    });
    DesktopSeam::setHandler([](const QUrl& url) { return QDesktopServices::openUrl(url); });
    SoundSeam::seam().setHandler(realSound);
    TrayHostSeam::seam().setHandler(
        [](const SeamQuery&) { return QSystemTrayIcon::isSystemTrayAvailable(); });
}

} // namespace zv
