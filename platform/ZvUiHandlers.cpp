#include "platform/ZvUiHandlers.h"

#include "platform/ZvMapi.h"
#include "platform/ZvSystem.h"
#include "platform/ZvTreePrint.h"
#include "store/ZvSeams.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>

namespace zv {

static int showBox(const MessageRequest& r)
{
    QMessageBox box;
    box.setWindowTitle(r.caption);
    box.setText(r.text);
    switch (r.icon) {
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MsgIcon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    switch (r.buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    // Application-modal: every other window of the program waits, and the focus goes
    // back to the window that had it.
    box.setWindowModality(Qt::ApplicationModal);
    QPointer<QWidget> before = QApplication::activeWindow();
    const int answer = box.exec();
    if (before) before->activateWindow();
    switch (answer) {
    case QMessageBox::Ok:
        return IdOk;
    case QMessageBox::Cancel:
        return IdCancel;
    case QMessageBox::Yes:
        return IdYes;
    case QMessageBox::No:
        return IdNo;
    default:
        return ClosedBoxAnswer(r.buttons);
    }
}

// The sync's password, asked in a box of its own; nothing when cancelled.
static std::optional<QString> askPassword(const QString& text)
{
    QPointer<QWidget> before = QApplication::activeWindow();
    bool ok = false;
    const QString password = QInputDialog::getText(nullptr, QApplication::applicationName(), text,
                                                   QLineEdit::Password, QString(), &ok);
    if (before) before->activateWindow();
    if (!ok) return std::nullopt;
    return password;
}

void InstallDesktopHandlers()
{
    MessageSeam::setHandler(showBox);
    PasswordPromptSeam().setHandler(askPassword);
    InstallSystemHandlers();
    MailProcessSeam().setHandler([](const MailProcessRequest& request) { return RunMailProcess(request); });
    PrintDialogSeam().setHandler(RunPrintDialog);
}

} // namespace zv
