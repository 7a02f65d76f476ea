#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <QTextBrowser>
class QWidget;

namespace zv {

// Ties a window to the program's help page (HTML in the program folder, one anchor per
// help context) shown in an in-program help window. F1 without modifiers on the window
// shows the help context of the focused widget, else of the nearest parent that has
// one, else of the window. A widget names its context with the dynamic property
// "helpContext": an anchor name, or a number N for the anchor "context-N".
//
// The component makes no shortcut of its own: where an action owns F1 (the main window's
// Contents), the action takes the key first and calls ShowContents or ShowHelp.
class TZVHHComp : public QObject
{
    Q_OBJECT
public:
    static inline const char* const kContextProperty = "helpContext";

    explicit TZVHHComp(QWidget* owner);
    ~TZVHHComp() override; // closes the help window

    // The help file: a full path, or a name in the program folder.
    QString HelpFile() const { return m_helpFile; }
    void setHelpFile(const QString& file);
    QString HelpPath() const { return m_helpPath; }

    // Shows the page at that anchor (the top for none). A missing page shows nothing.
    bool ShowHelp(const QString& anchor);
    bool ShowContents() { return ShowHelp(QString()); }
    // Closes every help window.
    void CloseAll();

    // The anchor F1 asks for on that widget (its own context, a parent's, the window's).
    QString ContextAnchor(QWidget* widget) const;
    static QString AnchorFor(const QVariant& context);

    QWidget* helpWindow() const;
    QTextBrowser* helpBrowser() const { return m_browser.data(); }
    QString shownAnchor() const { return m_shownAnchor; }

    static QString ProgramFolder();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> m_owner;
    QString m_helpFile;
    QString m_helpPath;
    QPointer<QWidget> m_window;
    QPointer<QTextBrowser> m_browser;
    QString m_shownAnchor;
};

} // namespace zv
