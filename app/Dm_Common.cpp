#include "app/Dm_Common.h"

#include "app/Dlg_About.h"
#include "app/Dlg_Options.h"
#include "app/Dlg_Update.h"
#include "app/Fm_Main.h"
#include "components/ZvFormState.h"
#include "components/ZvTray.h"
#include "components/ZvVersionInfo.h"
#include "components/zvHHComp.h"
#include "frames/ZvMessages.h"
#include "platform/ZvAutostart.h"
#include "platform/ZvIcons.h"
#include "platform/ZvSystem.h"
#include "platform/ZvWindowFront.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"
#include "store/pU_Funcs.h"

#include <QAction>
#include <QCoreApplication>
#include <QUrl>

namespace zv {

TcommonDm* commonDm = nullptr;

namespace {
const QString kOption = QStringLiteral("option");
} // namespace

TcommonDm::TcommonDm(TmainFm* main, QObject* parent) : QObject(parent), m_main(main)
{
    commonDm = this;

    Action_Options = makeAction(QT_TR_NOOP("&Options..."), &TcommonDm::Action_OptionsExecute);
    Action_About = makeAction(QT_TR_NOOP("&About"), &TcommonDm::Action_AboutExecute);
    HelpContents1 = makeAction(QT_TR_NOOP("&Contents"), &TcommonDm::HelpContents1Execute);
    HelpContents1->setToolTip(tr("Help Contents"));
    HelpContents1->setStatusTip(tr("Help Contents"));
    HelpContents1->setIcon(ZvImage(ImageList::Task16, 18));
    HelpContents1->setShortcut(QKeySequence(Qt::Key_F1));
    HelpContents1->setShortcutContext(Qt::WindowShortcut);
    Action_Contact = makeAction(QT_TR_NOOP("C&ontact Technical Support"), &TcommonDm::MailSupport);
    Action_Suggestion = makeAction(QT_TR_NOOP("&Make a Suggestion"), &TcommonDm::MailSupport);
    Action_Website = makeAction(QT_TR_NOOP("&Visit Zorvik Website"), &TcommonDm::VisitWebsite);
    Action_Update = makeAction(QT_TR_NOOP("Check for &Update"), &TcommonDm::VisitWebsite);
    Action_Resources = makeAction(QT_TR_NOOP("Get Free Resources"), &TcommonDm::VisitResources);
    Action_UiStayOnTop = makeAction(QT_TR_NOOP("S&tay on top"), &TcommonDm::Action_UiStayOnTopExecute);
    Action_UiStayOnTop->setCheckable(true);
    Action_UiStayOnTop->setChecked(false);
    if (OnWayland()) {
        // The compositor alone decides what stays on top: greyed, with the reason as its hint.
        Action_UiStayOnTop->setEnabled(false);
        const QString why = tr("Not available on Wayland: the desktop decides which window stays on top");
        Action_UiStayOnTop->setToolTip(why);
        Action_UiStayOnTop->setStatusTip(why);
    }
    Action_UiOpen = makeAction(QT_TR_NOOP("&Open Zorvik Jotboard"), &TcommonDm::Action_UiOpenExecute);
    // Ctrl+F12 is only part of the caption: the trees handle the key themselves.
    Action_UiClose = makeAction(QT_TR_NOOP("&Close            Ctrl+F12"), &TcommonDm::Action_UiCloseExecute);

    // F1 belongs to Contents on the whole main window, whether or not a menu shows it.
    if (m_main) m_main->addAction(HelpContents1);
}

TcommonDm::~TcommonDm()
{
    if (commonDm == this) commonDm = nullptr;
}

QAction* TcommonDm::makeAction(const char* caption, void (TcommonDm::*handler)())
{
    auto* action = new QAction(tr(caption), this);
    // The check mark of a checkable action has flipped already when triggered arrives.
    connect(action, &QAction::triggered, this, [this, handler] { Guarded([&] { (this->*handler)(); }); });
    return action;
}

// ---- Start --------------------------------------------------------------------------

void TcommonDm::ReadOptions(TmainFm* main)
{
    TIniFile ini(main->ConfFile);
    main->VisitWebEn = ini.ReadBool(kOption, QStringLiteral("visitWebEn"), true);
    const QString visitWeb = ini.ReadString(kOption, QStringLiteral("visitWeb"), QString());
    if (!visitWeb.isEmpty()) {
        main->VisitWeb = ParseIsoDateTime(visitWeb);
    } else {
        main->VisitWeb = Now();
        ini.WriteString(kOption, QStringLiteral("visitWeb"), IsoDateTimeText(main->VisitWeb));
    }
    main->RunMinimizedEn = ini.ReadBool(kOption, QStringLiteral("runMinimizedEn"), false);
}

bool TcommonDm::UpdatePromptDue(bool visitWebEn, TDateTime visitWeb, TDateTime now)
{
    if (!visitWebEn) return false;
    const qint64 ms = MillisecondsBetween(visitWeb, now);
    const qint64 wholeDays = (ms < 0 ? -ms : ms) / (24LL * 60 * 60 * 1000);
    return wholeDays >= kUpdatePromptDays;
}

void TcommonDm::StartupChecks()
{
    if (UpdatePromptDue(m_main->VisitWebEn, m_main->VisitWeb, Now())) {
        PostZvMessage(m_main, WM_UPDATE_PROMPT);
        // Only this run starts visible, so that the prompt is seen; the option stays.
        m_main->RunMinimizedEn = false;
    }
    if (m_main->RunMinimizedEn && m_main->ZvTrayIcon1) m_main->ZvTrayIcon1->Minimize();
}

void TcommonDm::ShowUpdatePrompt()
{
    if (!commonDm) return;
    TupdateDlg dlg(commonDm, commonDm->main());
    dlg.exec();
}

// ---- Web pages, mail, autostart ---------------------------------------------------------

QString TcommonDm::WebPageAddress(const QString& page, int privateTasks, int publicTasks, int privateMemos,
                                  int publicMemos, const QString& version)
{
    QStringList query;
    query << QStringLiteral("t=%1-%2").arg(privateTasks).arg(publicTasks)
          << QStringLiteral("m=%1-%2").arg(privateMemos).arg(publicMemos);
    if (!version.isEmpty())
        query << QStringLiteral("v=") + QString::fromLatin1(QUrl::toPercentEncoding(version));
    return page + QLatin1Char('?') + query.join(QLatin1Char('&'));
}

QString TcommonDm::WebPageAddress(const QString& page) const
{
    const QString version = m_main->ZvVersionInfo1 ? m_main->ZvVersionInfo1->GetValue(2) : QString();
    return WebPageAddress(page, m_main->PrivateTasks, m_main->PublicTasks, m_main->PrivateMemos,
                          m_main->PublicMemos, version);
}

void TcommonDm::WriteVisitWeb()
{
    TIniFile(m_main->ConfFile).WriteString(kOption, QStringLiteral("visitWeb"), IsoDateTimeText(Now()));
}

void TcommonDm::openPage(const QString& page)
{
    // A page the desktop cannot open is not reported; the visit counts all the same.
    DesktopSeam::openUrl(QUrl(WebPageAddress(page)));
    WriteVisitWeb();
}

void TcommonDm::VisitWebsite()
{
    openPage(kMainPage);
}

void TcommonDm::VisitResources()
{
    openPage(kResourcesPage);
}

void TcommonDm::MailSupport()
{
    DesktopSeam::openUrl(QUrl(QStringLiteral("MailTo:") + kSupportMail));
}

bool TcommonDm::IsAutoStart() const
{
    return ZvAutostart::IsAutoStart();
}

void TcommonDm::SetAutoStart(bool on)
{
    // Failures stay silent: the Options dialog reads the real state the next time.
    ZvAutostart::SetAutoStart(on, QCoreApplication::applicationFilePath(), ZvAutostart::DataFolderToKeep());
}

// ---- Handlers -------------------------------------------------------------------------

void TcommonDm::Action_OptionsExecute()
{
    TOptionsDlg dlg(this, m_main);
    dlg.exec();
}

void TcommonDm::Action_AboutExecute()
{
    TAboutDlg dlg(this, m_main);
    dlg.exec();
}

void TcommonDm::HelpContents1Execute()
{
    // A missing help page shows nothing and says nothing.
    if (m_main->ZVHHComp1) m_main->ZVHHComp1->ShowContents();
}

void TcommonDm::Action_UiStayOnTopExecute()
{
    const bool onTop = Action_UiStayOnTop->isChecked();
    TmainFm* window = m_main;
    window->ZvFormState1->SaveState();
    const bool wasVisible = window->isVisible();
    // Changing the flag rebuilds (and hides) the window; a plain show brings it back
    // without the program's hide and show steps, which follow the tray component only.
    window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    if (wasVisible) window->show();
    window->ZvFormState1->RestoreState();
}

void TcommonDm::Action_UiOpenExecute()
{
    m_main->ZvTrayIcon1->Restore();
}

void TcommonDm::Action_UiCloseExecute()
{
    m_main->ZvTrayIcon1->Minimize();
}

} // namespace zv
