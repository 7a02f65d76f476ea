#include "ZvTestHost.h"

#include "components/ZvTray.h"

#include <QAction>
#include <QPrinter>

namespace zvtest {

TestFrameHost::TestFrameHost(TempProgramFolder& folder)
    : m_folder(folder), m_window(std::make_unique<QWidget>())
{
    m_window->resize(455, 503);
    m_tray = new zv::TZvTrayIcon(m_window.get());
    m_picture = QPixmap(8, 8);
    m_picture.fill(Qt::white);
    const auto command = [this](const char* name) {
        return new QAction(QString::fromLatin1(name), m_window.get());
    };
    m_shared = {.Options = command("Options"),
                .DbBackup = command("Backup"),
                .DbRestore = command("Restore"),
                .UndoRestore = command("Undo restore"),
                .Import = command("Import"),
                .ImportICalendar = command("Import iCalendar"),
                .StayOnTop = command("On top"),
                .UiClose = command("Close"),
                .HelpContents = command("Contents"),
                .Contact = command("Contact"),
                .Suggestion = command("Suggest"),
                .Website = command("Website"),
                .Update = command("Update"),
                .Resources = command("Resources"),
                .About = command("About")};
}

TestFrameHost::~TestFrameHost() = default;

QPrinter& TestFrameHost::printer()
{
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

} // namespace zvtest
