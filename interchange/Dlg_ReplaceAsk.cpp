#include "interchange/Dlg_ReplaceAsk.h"

#include "store/ZvSeams.h"

#include <QFont>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace zv {

namespace {

QLabel* makeLabel(QWidget* parent, const QString& name, int left, int top, const QString& text, bool title)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    if (title) {
        label->setGeometry(left, top, 360, 20);
        label->setStyleSheet(QStringLiteral("color: blue;"));
    } else {
        label->setGeometry(left, top, 463 - left - 16, 20);
    }
    return label;
}

QPushButton* makeButton(QWidget* parent, const QString& name, int left, const QString& text, int result)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(left, 200, 75, 25);
    QObject::connect(button, &QPushButton::clicked, parent,
                     [parent, result] { static_cast<QDialog*>(parent)->done(result); });
    return button;
}

} // namespace

TReplaceAskDlg::TReplaceAskDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ReplaceAskDlg"));
    setWindowTitle(tr("Confirm Replace"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    setFont(font);
    setFixedSize(463, 250);

    Label_Caption = makeLabel(this, QStringLiteral("Label_Caption"), 56, 24,
                              tr("Would you like to replace the existing "), false);
    Label_oldTitle = makeLabel(this, QStringLiteral("Label_oldTitle"), 80, 56, QString(), true);
    Label_oldTime = makeLabel(this, QStringLiteral("Label_oldTime"), 80, 80, QString(), false);
    Label2 = makeLabel(this, QStringLiteral("Label2"), 56, 104, tr("with this one?"), false);
    Label_newTitle = makeLabel(this, QStringLiteral("Label_newTitle"), 80, 144, QString(), true);
    Label_newTime = makeLabel(this, QStringLiteral("Label_newTime"), 80, 168, QString(), false);

    // Created in tab order: Yes, No, Abort, All.
    Button1 = makeButton(this, QStringLiteral("Button1"), 88, tr("&Yes"), IdYes);
    Button2 = makeButton(this, QStringLiteral("Button2"), 264, tr("&No"), IdNo);
    Button3 = makeButton(this, QStringLiteral("Button3"), 352, tr("A&bort"), IdAbort);
    Button4 = makeButton(this, QStringLiteral("Button4"), 176, tr("&All"), IdYesToAll);
    Button1->setDefault(true);
    Button1->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

} // namespace zv
