#include "components/zvHHComp.h"

#include "platform/ZvSystem.h"
#include "store/ZvGuard.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

namespace zv {

TZVHHComp::TZVHHComp(QWidget* owner) : QObject(owner), m_owner(owner)
{
    // Key preview: the window sees F1 before the focused control does.
    qApp->installEventFilter(this);
}

TZVHHComp::~TZVHHComp()
{
    if (qApp) qApp->removeEventFilter(this);
    CloseAll();
}

QString TZVHHComp::ProgramFolder()
{
    const QString home = qEnvironmentVariable("ZVJ_HOME");
    if (!home.isEmpty()) return QDir(home).absolutePath();
    return QCoreApplication::applicationDirPath();
}

void TZVHHComp::setHelpFile(const QString& file)
{
    m_helpFile = file;
    if (file.isEmpty())
        m_helpPath.clear();
    else if (QFileInfo(file).isAbsolute())
        m_helpPath = file;
    else
        m_helpPath = QDir(ProgramFolder()).filePath(file);
}

QString TZVHHComp::AnchorFor(const QVariant& context)
{
    if (!context.isValid()) return QString();
    bool isNumber = false;
    const int number = context.toInt(&isNumber);
    if (isNumber) return number == 0 ? QString() : QStringLiteral("context-%1").arg(number);
    return context.toString().trimmed();
}

QString TZVHHComp::ContextAnchor(QWidget* widget) const
{
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        const QString anchor = AnchorFor(w->property(kContextProperty));
        if (!anchor.isEmpty()) return anchor;
        if (w == m_owner.data() || w->isWindow()) break;
    }
    return QString();
}

QWidget* TZVHHComp::helpWindow() const
{
    return m_window.data();
}

bool TZVHHComp::ShowHelp(const QString& anchor)
{
    // A missing page is not reported: there is nothing to show.
    if (m_helpPath.isEmpty() || !QFileInfo(m_helpPath).isFile()) return false;
    if (!m_window) {
        // One help window for the component, a top-level window of its own so that it
        // stays when the main window hides to the tray.
        m_window = new QWidget(nullptr, Qt::Window);
        m_window->setAttribute(Qt::WA_DeleteOnClose, false);
        m_window->setWindowTitle(tr("Zorvik Jotboard Help"));
        auto* layout = new QVBoxLayout(m_window);
        layout->setContentsMargins(0, 0, 0, 0);
        m_browser = new QTextBrowser(m_window);
        m_browser->setOpenLinks(false);
        layout->addWidget(m_browser);
        m_window->resize(640, 560);
        connect(m_browser, &QTextBrowser::anchorClicked, this, [this](const QUrl& link) {
            Guarded([&] {
                const QUrl target = m_browser->source().resolved(link);
                if (target.isLocalFile() || target.scheme().isEmpty())
                    m_browser->setSource(target);
                else
                    DesktopSeam::openUrl(target); // web pages and mail go to the desktop
            });
        });
    }
    QUrl url = QUrl::fromLocalFile(QFileInfo(m_helpPath).absoluteFilePath());
    if (!anchor.isEmpty()) url.setFragment(anchor);
    m_browser->setSource(url);
    if (!anchor.isEmpty()) m_browser->scrollToAnchor(anchor);
    m_shownAnchor = anchor;
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    return true;
}

void TZVHHComp::CloseAll()
{
    if (m_window) {
        m_window->close();
        delete m_window.data();
    }
}

bool TZVHHComp::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && m_owner) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        const Qt::KeyboardModifiers held =
            key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (key->key() == Qt::Key_F1 && held == Qt::NoModifier && widget && widget->window() == m_owner) {
            Guarded([&] {
                const QString anchor = ContextAnchor(widget);
                if (!m_helpFile.isEmpty()) ShowHelp(anchor);
            });
            return true; // swallowed, whether help was shown or not
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zv
