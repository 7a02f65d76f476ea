#include "tasks/Dlg_DueSet.h"

#include "platform/ZvIcons.h"
#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace zv {

TDueSetDlg::TDueSetDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DueSetDlg"));
    setWindowTitle(tr("Set Due Date"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(283, 175);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(ZvPixmap(ImageList::Task22, 24, 32));

    cb_due = new QCheckBox(tr("Enable Due Date"), this);
    cb_due->setObjectName(QStringLiteral("cb_due"));

    edt_due = new QDateTimeEdit(this);
    edt_due->setObjectName(QStringLiteral("edt_due"));
    edt_due->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    edt_due->setCalendarPopup(true);

    Btn_Ok = new QPushButton(tr("OK"), this);
    Btn_Ok->setObjectName(QStringLiteral("Btn_Ok"));
    Btn_Ok->setDefault(true);
    Btn_Cancel = new QPushButton(tr("Cancel"), this);
    Btn_Cancel->setObjectName(QStringLiteral("Btn_Cancel"));

    auto* fields = new QVBoxLayout;
    fields->addWidget(cb_due);
    fields->addWidget(edt_due);
    fields->addStretch(1);

    auto* upper = new QHBoxLayout;
    upper->addWidget(Image1, 0, Qt::AlignTop);
    upper->addLayout(fields, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Btn_Ok);
    buttons->addWidget(Btn_Cancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(upper, 1);
    top->addLayout(buttons);

    // Programmatic sets block the editor's signals, so only the user's changes arrive here.
    connect(edt_due, &QDateTimeEdit::dateTimeChanged, this, [this] { Guarded([&] { edt_dueChange(); }); });
    connect(Btn_Ok, &QPushButton::clicked, this, [this] { Guarded([&] { Btn_OkClick(); }); });
    connect(Btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TDueSetDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && !m_shown) {
        m_shown = true;
        Guarded([&] { FormShow(); });
    }
}

void TDueSetDlg::FormShow()
{
    cb_due->setChecked(dueFlag);
    {
        const QSignalBlocker block(edt_due);
        edt_due->setDateTime(dueFlag ? QFromDateTime(dueTime) : Clock::now());
    }
    edt_due->setFocus();
}

void TDueSetDlg::edt_dueChange()
{
    cb_due->setChecked(true);
}

void TDueSetDlg::Btn_OkClick()
{
    if (cb_due->isChecked() && edt_due->date() <= Clock::now().date()) {
        if (MsgAsk(tr("Date may be incorrect, are you sure?")) != IdOk) return;
    }
    dueFlag = cb_due->isChecked();
    dueTime = DateTimeFromQ(edt_due->dateTime());
    accept();
}

} // namespace zv
