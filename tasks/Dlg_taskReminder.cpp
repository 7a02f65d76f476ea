#include "tasks/Dlg_taskReminder.h"

#include "platform/ZvIcons.h"
#include "platform/ZvSystem.h"
#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace zv {

namespace {

constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

struct SnoozeItem
{
    const char* text;
    qint64 ms;
};

const SnoozeItem kSnoozeItems[TtaskReminderDlg::kSnoozeCount] = {
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "5 Minutes"), 5 * kMinute},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "10 Minutes"), 10 * kMinute},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "15 Minutes"), 15 * kMinute},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "30 Minutes"), 30 * kMinute},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "45 Minutes"), 45 * kMinute},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "1 Hour"), 1 * kHour},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "2 Hours"), 2 * kHour},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "3 Hours"), 3 * kHour},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "4 Hours"), 4 * kHour},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "5 Hours"), 5 * kHour},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "6 Hours"), 6 * kHour},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "7 Hours"), 7 * kHour},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "8 Hours"), 8 * kHour},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "1 Day"), 1 * kDay},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "2 Days"), 2 * kDay},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "3 Days"), 3 * kDay},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "4 Days"), 4 * kDay},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "5 Days"), 5 * kDay},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "6 Days"), 6 * kDay},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "1 Week"), 7 * kDay},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "2 Weeks"), 14 * kDay},
    {QT_TRANSLATE_NOOP("zv::TtaskReminderDlg", "3 Weeks"), 21 * kDay},
};

} // namespace

TtaskReminderDlg::TtaskReminderDlg(const QString& soundPath, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinMaxButtonsHint),
      m_soundPath(soundPath)
{
    setObjectName(QStringLiteral("taskReminderDlg"));
    setWindowTitle(tr("Task Reminder"));
    setFixedSize(427, 204);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(48, 48);
    Image1->setPixmap(ZvPixmap(ImageList::Task22, 22, 48));

    btn_dismiss = new QPushButton(tr("Dismiss"), this);
    btn_dismiss->setObjectName(QStringLiteral("btn_dismiss"));
    btn_dismiss->setToolTip(tr("Dismiss reminder"));

    Label1 = new QLabel(tr("Click \"Snooze\" to be alarmed again in:"), this);
    Label1->setObjectName(QStringLiteral("Label1"));

    comb_Snooze = new QComboBox(this);
    comb_Snooze->setObjectName(QStringLiteral("comb_Snooze"));
    for (const SnoozeItem& item : kSnoozeItems)
        comb_Snooze->addItem(tr(item.text));
    comb_Snooze->setMaxVisibleItems(kSnoozeCount);
    comb_Snooze->setCurrentIndex(0);

    btn_snooze = new QPushButton(tr("Snooze"), this);
    btn_snooze->setObjectName(QStringLiteral("btn_snooze"));
    btn_snooze->setDefault(true);

    auto* side = new QVBoxLayout;
    side->addWidget(Image1, 0, Qt::AlignHCenter);
    side->addStretch(1);
    side->addWidget(btn_dismiss);

    auto* upper = new QHBoxLayout;
    upper->addWidget(Memo1, 1);
    upper->addLayout(side);

    auto* snooze = new QHBoxLayout;
    snooze->addWidget(comb_Snooze, 1);
    snooze->addWidget(btn_snooze);

    auto* top = new QVBoxLayout(this);
    top->addLayout(upper, 1);
    top->addWidget(Label1);
    top->addLayout(snooze);

    connect(btn_snooze, &QPushButton::clicked, this, [this] { Guarded([&] { btn_snoozeClick(); }); });
    connect(btn_dismiss, &QPushButton::clicked, this, [this] { Guarded([&] { btn_dismissClick(); }); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

qint64 TtaskReminderDlg::SnoozeOffsetMs(int index)
{
    if (index < 0 || index >= kSnoozeCount) return kDay;
    return kSnoozeItems[index].ms;
}

void TtaskReminderDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Minimising and restoring show the window again: the alarm sounds once per reminder.
    if (!event->spontaneous() && !m_shown) {
        m_shown = true;
        Guarded([&] { FormShow(); });
    }
}

void TtaskReminderDlg::FormShow()
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Memo1->setPlainText(shown);
    SoundSeam::play(m_soundPath);
}

void TtaskReminderDlg::btn_snoozeClick()
{
    nextAlarm = AddMilliseconds(Now(), SnoozeOffsetMs(comb_Snooze->currentIndex()));
    dismissed = false;
    m_decided = true;
    accept();
}

void TtaskReminderDlg::btn_dismissClick()
{
    dismissed = true;
    m_decided = true;
    accept();
}

void TtaskReminderDlg::reject()
{
    // Closed without a choice: a reminder left armed at its old time would fire again at
    // the next tick, so this counts as a snooze with the chosen time.
    if (!m_decided) Guarded([&] { btn_snoozeClick(); });
    if (isVisible()) QDialog::accept();
}

void TtaskReminderDlg::closeEvent(QCloseEvent* event)
{
    reject();
    event->accept();
}

} // namespace zv
