#include "tasks/Dlg_ReminderSet.h"

#include "platform/ZvIcons.h"
#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace zv {

namespace {

// The long time format without a zone name.
QString longTimeFormat()
{
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return format.trimmed();
}

} // namespace

TReminderSetDlg::TReminderSetDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ReminderSetDlg"));
    setWindowTitle(tr("Set Reminder"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(275, 196);

    cb_reminder = new QCheckBox(tr("Enable Reminder"), this);
    cb_reminder->setObjectName(QStringLiteral("cb_reminder"));

    edt_date = new QDateEdit(this);
    edt_date->setObjectName(QStringLiteral("edt_date"));
    edt_date->setDisplayFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    edt_date->setCalendarPopup(true);

    edt_time = new QTimeEdit(this);
    edt_time->setObjectName(QStringLiteral("edt_time"));
    edt_time->setDisplayFormat(longTimeFormat());

    Image_warning = new QLabel(this);
    Image_warning->setObjectName(QStringLiteral("Image_warning"));
    Image_warning->setFixedSize(16, 16);
    Image_warning->setPixmap(ZvPixmap(ImageList::Main22, 4, 16));
    Image_warning->hide();

    lbl_warning = new QLabel(tr("Date or time may be incorrect!"), this);
    lbl_warning->setObjectName(QStringLiteral("lbl_warning"));
    QFont bold = lbl_warning->font();
    bold.setBold(true);
    lbl_warning->setFont(bold);
    QPalette blue = lbl_warning->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    lbl_warning->setPalette(blue);
    lbl_warning->hide();

    btn_ok = new QPushButton(tr("&OK"), this);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_ok->setDefault(true);
    btn_cancel = new QPushButton(tr("&Cancel"), this);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));

    auto* form = new QFormLayout;
    form->addRow(tr("Date:"), edt_date);
    form->addRow(tr("Time:"), edt_time);

    auto* warning = new QHBoxLayout;
    warning->addWidget(Image_warning);
    warning->addWidget(lbl_warning, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btn_ok);
    buttons->addWidget(btn_cancel);

    auto* top = new QVBoxLayout(this);
    top->addWidget(cb_reminder);
    top->addLayout(form);
    top->addLayout(warning);
    top->addStretch(1);
    top->addLayout(buttons);

    // Programmatic sets block the pickers' signals, so only the user's changes arrive here.
    connect(edt_date, &QDateEdit::dateChanged, this, [this] { Guarded([&] { edt_dateChange(); }); });
    connect(edt_time, &QTimeEdit::timeChanged, this, [this] { Guarded([&] { edt_timeChange(); }); });
    connect(cb_reminder, &QCheckBox::clicked, this, [this] { Guarded([&] { cb_reminderClick(); }); });
    connect(btn_ok, &QPushButton::clicked, this, [this] { Guarded([&] { btn_okClick(); }); });
    connect(btn_cancel, &QPushButton::clicked, this, &QDialog::reject);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TReminderSetDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && !m_shown) {
        m_shown = true;
        Guarded([&] { FormShow(); });
    }
}

void TReminderSetDlg::FormShow()
{
    cb_reminder->setChecked(alarmFlag);
    {
        const QSignalBlocker blockDate(edt_date);
        const QSignalBlocker blockTime(edt_time);
        if (alarmFlag) {
            const QDateTime at = QFromDateTime(alarmTime);
            edt_date->setDate(at.date());
            edt_time->setTime(at.time());
        } else {
            // Nothing armed yet: propose this time tomorrow.
            const QDateTime now = QFromDateTime(Now());
            edt_date->setDate(now.date().addDays(1));
            edt_time->setTime(now.time());
        }
    }
    cb_reminder->setFocus();
    UpdateWarning();
}

TDateTime TReminderSetDlg::CombinedTime() const
{
    return EncodeDateTime(edt_date->date(), edt_time->time());
}

void TReminderSetDlg::UpdateWarning()
{
    // Times less than a millisecond apart count as equal, as for firing.
    const bool show = cb_reminder->isChecked() && MillisecondsBetween(Now(), CombinedTime()) <= 0;
    Image_warning->setVisible(show);
    lbl_warning->setVisible(show);
}

void TReminderSetDlg::edt_dateChange()
{
    cb_reminder->setChecked(true);
    UpdateWarning();
}

void TReminderSetDlg::edt_timeChange()
{
    cb_reminder->setChecked(true);
    UpdateWarning();
}

void TReminderSetDlg::cb_reminderClick()
{
    if (cb_reminder->isChecked()) UpdateWarning();
}

void TReminderSetDlg::btn_okClick()
{
    alarmFlag = cb_reminder->isChecked();
    alarmTime = CombinedTime();
    accept();
}

} // namespace zv
