#include "ZvTestHost.h"

#include "components/ZvTray.h"

#include <QPrinter>

namespace zvtest {

TestFrameHost::TestFrameHost(TempProgramFolder& folder)
    : m_folder(folder), m_window(std::make_unique<QWidget>())
{
    m_window->resize(455, 503);
    m_tray = new zv::TZvTrayIcon(m_window.get());
    m_picture = QPixmap(8, 8);
    m_picture.fill(Qt::white);
}

TestFrameHost::~TestFrameHost() = default;

QPrinter& TestFrameHost::printer()
{
    if (!m_printer) m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

} // namespace zvtest
