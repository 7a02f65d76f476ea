#pragma once

#include "store/ZvDateTime.h"
#include "store/pU_Funcs.h"

#include <QObject>
#include <QString>

class QAction;

namespace zv {

class TmainFm;

// The commands both frames put in their menus and the tray uses (options, help, the
// maker's pages and mail, stay on top, open and close the window), and the two start
// routines of the main window. Created after the main window; lives until the end.
class TcommonDm : public QObject
{
    Q_OBJECT
public:
    static inline const QString kMainPage = kMakerMainPage;
    static inline const QString kResourcesPage =
        QStringLiteral("https://www.zorvik.example/jotboard/resources/");
    static inline const QString kSupportMail = QStringLiteral("support@zorvik.example");
    // Whole days since the last web visit (either way) from which the update prompt shows.
    static constexpr int kUpdatePromptDays = 91;

    TcommonDm(TmainFm* main, QObject* parent = nullptr);
    ~TcommonDm() override;

    TmainFm* main() const { return m_main; }

    // ---- Actions (the frames and the tray menu show them) ----
    QAction* Action_Options = nullptr;
    QAction* Action_About = nullptr;
    QAction* HelpContents1 = nullptr;
    QAction* Action_Contact = nullptr;
    QAction* Action_Suggestion = nullptr;
    QAction* Action_Website = nullptr;
    QAction* Action_Update = nullptr;
    QAction* Action_Resources = nullptr;
    QAction* Action_UiStayOnTop = nullptr;
    QAction* Action_UiOpen = nullptr;
    QAction* Action_UiClose = nullptr;

    // ---- Start ----
    // During the main window's creation, before this module exists: the update-prompt
    // settings and "Run program minimized". A bad "visitWeb" text raises the parser's error.
    static void ReadOptions(TmainFm* main);
    // At the first show: may post the update prompt, then may hide the window to the tray.
    void StartupChecks();
    // The rule of StartupChecks: enabled and at least 91 whole days apart, either way.
    static bool UpdatePromptDue(bool visitWebEn, TDateTime visitWeb, TDateTime now);
    // Message 2027: the update prompt, modal, freed afterwards.
    static void ShowUpdatePrompt();

    // ---- Shared routines ----
    void VisitWebsite();
    void VisitResources();
    void MailSupport();
    bool IsAutoStart() const;
    void SetAutoStart(bool on);
    QString WebPageAddress(const QString& page) const;
    static QString WebPageAddress(const QString& page, int privateTasks, int publicTasks, int privateMemos,
                                  int publicMemos, const QString& version);
    // Option "visitWeb" := now.
    void WriteVisitWeb();

    // ---- Handlers ----
    void Action_OptionsExecute();
    void Action_AboutExecute();
    void HelpContents1Execute();
    void Action_UiStayOnTopExecute();
    void Action_UiOpenExecute();
    void Action_UiCloseExecute();

private:
    QAction* makeAction(const char* caption, void (TcommonDm::*handler)());
    void openPage(const QString& page);

    TmainFm* m_main;
};

// The one shared-actions module.
extern TcommonDm* commonDm;

} // namespace zv
