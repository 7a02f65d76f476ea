// The four dialogs of the task frame: what the frame reads back after each of them closes.
#include "ZvTestSupport.h"
#include "platform/ZvColors.h"
#include "platform/ZvSystem.h"
#include "store/pU_Funcs.h"
#include "tasks/Dlg_ColorSet.h"
#include "tasks/Dlg_DueSet.h"
#include "tasks/Dlg_ReminderSet.h"
#include "tasks/Dlg_taskReminder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QtTest>

using namespace zv;

namespace {

constexpr qint64 kMinute = 60 * 1000;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

const QDateTime kNow(QDate(2024, 5, 15), QTime(10, 0, 0));

TDateTime pinnedNow()
{
    return DateTimeFromQ(kNow);
}

} // namespace

class TestDialogs : public QObject
{
    Q_OBJECT

    int m_plays = 0;
    QStringList m_playedPaths;

private slots:
    void init()
    {
        zvtest::ResetSeams(); // strict: every box a test meets is answered by it
        Clock::setFixed(kNow);
        m_plays = 0;
        m_playedPaths.clear();
        SoundSeam::setHandler([this](const QString& path) {
            ++m_plays;
            m_playedPaths << path;
        });
    }
    void cleanup()
    {
        Clock::setFixed(std::nullopt);
        SoundSeam::setHandler({});
    }

    // ---- Task Reminder -------------------------------------------------------------------

    void snoozeTable_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("item");
        QTest::addColumn<qint64>("added");
        const QList<QPair<QString, qint64>> items = {
            {"5 Minutes", 5 * kMinute},   {"10 Minutes", 10 * kMinute},
            {"15 Minutes", 15 * kMinute}, {"30 Minutes", 30 * kMinute},
            {"45 Minutes", 45 * kMinute}, {"1 Hour", kHour},
            {"2 Hours", 2 * kHour},       {"3 Hours", 3 * kHour},
            {"4 Hours", 4 * kHour},       {"5 Hours", 5 * kHour},
            {"6 Hours", 6 * kHour},       {"7 Hours", 7 * kHour},
            {"8 Hours", 8 * kHour},       {"1 Day", kDay},
            {"2 Days", 2 * kDay},         {"3 Days", 3 * kDay},
            {"4 Days", 4 * kDay},         {"5 Days", 5 * kDay},
            {"6 Days", 6 * kDay},         {"1 Week", 7 * kDay},
            {"2 Weeks", 14 * kDay},       {"3 Weeks", 21 * kDay},
        };
        for (int i = 0; i < items.size(); ++i)
            QTest::addRow("%d %s", i, qPrintable(items[i].first)) << i << items[i].first << items[i].second;
        QTest::newRow("none selected") << -1 << QString() << kDay;
    }
    void snoozeTable()
    {
        QFETCH(int, index);
        QFETCH(QString, item);
        QFETCH(qint64, added);

        QCOMPARE(TtaskReminderDlg::SnoozeOffsetMs(index), added);

        TtaskReminderDlg dlg(QStringLiteral("/x/Sounds/Alarm.wav"));
        QCOMPARE(dlg.comb_Snooze->count(), 22);
        QCOMPARE(dlg.comb_Snooze->currentIndex(), 0);
        if (index >= 0) QCOMPARE(dlg.comb_Snooze->itemText(index), item);
        dlg.comb_Snooze->setCurrentIndex(index);
        dlg.show();
        // The snooze counts from the moment of the click, not from the show.
        Clock::setFixed(kNow.addSecs(90));
        QTest::mouseClick(dlg.btn_snooze, Qt::LeftButton);

        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.dismissed);
        QCOMPARE(MillisecondsBetween(DateTimeFromQ(kNow.addSecs(90)), dlg.nextAlarm), added);
    }

    void dismissStoresZero()
    {
        TtaskReminderDlg dlg{QString()};
        QVERIFY(!dlg.dismissed);
        QCOMPARE(dlg.nextAlarm, 0.0);
        dlg.comb_Snooze->setCurrentIndex(3);
        dlg.show();
        QTest::mouseClick(dlg.btn_dismiss, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(dlg.dismissed);
        QCOMPARE(dlg.nextAlarm, 0.0);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.btn_dismiss->toolTip(), QStringLiteral("Dismiss reminder"));
    }

    void windowManagerCloseSnoozes_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("close event") << "close";
        QTest::newRow("escape key") << "escape";
        QTest::newRow("close during exec") << "modal";
    }
    void windowManagerCloseSnoozes()
    {
        QFETCH(QString, how);
        TtaskReminderDlg dlg{QString()};
        QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
        dlg.comb_Snooze->setCurrentIndex(5);
        if (how == "modal") {
            // As the frame runs it: the modal loop ends with the snooze result.
            zvtest::OnNextModal([](QWidget* w) { w->close(); });
            QCOMPARE(dlg.exec(), int(QDialog::Accepted));
        } else {
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            if (how == "escape")
                QTest::keyClick(&dlg, Qt::Key_Escape);
            else
                QVERIFY(dlg.close());
        }
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QVERIFY(!dlg.dismissed);
        QCOMPARE(MillisecondsBetween(pinnedNow(), dlg.nextAlarm), kHour);
    }

    void closeAfterDismissKeepsDismissal()
    {
        TtaskReminderDlg dlg{QString()};
        dlg.show();
        dlg.btn_dismissClick();
        dlg.close();
        QVERIFY(dlg.dismissed);
        QCOMPARE(dlg.nextAlarm, 0.0);
    }

    void soundOncePerShow()
    {
        const QString sound = QStringLiteral("/prog/Sounds/Alarm.wav");
        {
            TtaskReminderDlg dlg(sound);
            dlg.text = QStringLiteral("Call Bob\r\nabout the roof");
            QCOMPARE(m_plays, 0);
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QCOMPARE(m_plays, 1);
            QCOMPARE(m_playedPaths, QStringList{sound});
            QCOMPARE(dlg.Memo1->toPlainText(), QStringLiteral("Call Bob\nabout the roof"));
            QVERIFY(dlg.Memo1->isReadOnly());
            // Minimising and restoring the same reminder does not sound it again.
            dlg.hide();
            dlg.show();
            QCOMPARE(m_plays, 1);
        }
        TtaskReminderDlg next(sound);
        next.show();
        QCOMPARE(m_plays, 2);
    }

    // ---- Set Color -----------------------------------------------------------------------

    void colorLists()
    {
        TColorSetDlg dlg;
        for (QComboBox* box : {dlg.cbox_text, dlg.cbox_bg}) {
            QCOMPARE(box->count(), 16 + 4 + 25);
            QCOMPARE(box->itemText(box->findData(0x808080)), QStringLiteral("Gray"));
            QCOMPARE(box->itemText(box->findData(0xF0CAA6)), QStringLiteral("Sky Blue"));
            QCOMPARE(box->itemText(box->findData(kZvColorGrayText)), QStringLiteral("Gray Text"));
            QCOMPARE(box->itemText(box->findData(kZvColorInfoBk)), QStringLiteral("Info Background"));
            // System swatches are painted in the running palette's colour.
            const QImage sw = box->itemIcon(box->findData(kZvColorGrayText)).pixmap(16, 16).toImage();
            QCOMPARE(QColor(sw.pixel(8, 8)).rgb(), ZvSystemColor(kZvColorGrayText).rgb());
        }
        QCOMPARE(TColorSetDlg::SelectedColor(dlg.cbox_text), 0x000000);
        QCOMPARE(TColorSetDlg::SelectedColor(dlg.cbox_bg), 0xFFFFFF);
    }

    void colorNumbers_data()
    {
        QTest::addColumn<int>("textIn");
        QTest::addColumn<int>("bgIn");
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("textOut");
        QTest::addColumn<int>("bgOut");
        QTest::newRow("defaults kept") << 0 << 0 << "ok" << 0 << 0;
        QTest::newRow("black custom is default") << 0 << 0 << "black text" << 0 << 0;
        QTest::newRow("gray text system colour") << 0 << 0 << "gray text" << -16777199 << 0;
        QTest::newRow("listed colours kept")
            << 0x0000FF << kZvColorInfoBk << "ok" << 0x0000FF << kZvColorInfoBk;
        QTest::newRow("unlisted colours kept") << 0x123456 << 0x654321 << "ok" << 0x123456 << 0x654321;
        QTest::newRow("default button") << 0x0000FF << 0x00FFFF << "default" << 0 << 0;
        QTest::newRow("default box wins over choice") << 0x0000FF << 0x00FFFF << "check both" << 0 << 0;
    }
    void colorNumbers()
    {
        QFETCH(int, textIn);
        QFETCH(int, bgIn);
        QFETCH(QString, action);
        QFETCH(int, textOut);
        QFETCH(int, bgOut);

        TColorSetDlg dlg;
        dlg.TextColor = textIn;
        dlg.BackgroundColor = bgIn;
        dlg.show();
        QCOMPARE(dlg.cb_text->isChecked(), textIn == 0);
        QCOMPARE(dlg.cb_bg->isChecked(), bgIn == 0);
        QCOMPARE(dlg.cbox_text->isEnabled(), textIn != 0);
        QCOMPARE(dlg.cbox_bg->isEnabled(), bgIn != 0);
        if (textIn) QCOMPARE(TColorSetDlg::SelectedColor(dlg.cbox_text), textIn);
        if (bgIn) QCOMPARE(TColorSetDlg::SelectedColor(dlg.cbox_bg), bgIn);

        QPushButton* button = dlg.btn_Ok;
        if (action == "black text" || action == "gray text") {
            dlg.cb_text->click();
            QVERIFY(dlg.cbox_text->isEnabled());
            const int number = action == "black text" ? 0x000000 : kZvColorGrayText;
            dlg.cbox_text->setCurrentIndex(dlg.cbox_text->findData(number));
        } else if (action == "check both") {
            dlg.cb_text->click();
            dlg.cb_bg->click();
            QVERIFY(!dlg.cbox_text->isEnabled());
        } else if (action == "default") {
            button = dlg.btn_Default;
        }
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.TextColor, textOut);
        QCOMPARE(dlg.BackgroundColor, bgOut);
    }

    void colorPreview()
    {
        TColorSetDlg dlg;
        const QPalette initial = dlg.Memo1->palette();
        dlg.show();
        QCOMPARE(dlg.Memo1->toPlainText(), QStringLiteral("  Zorvik Software"));
        // Default colours on show leave the preview in the window's own colours.
        QCOMPARE(dlg.Memo1->palette().color(QPalette::Text), initial.color(QPalette::Text));
        QCOMPARE(dlg.Memo1->palette().color(QPalette::Base), initial.color(QPalette::Base));

        dlg.cb_text->click();
        dlg.cbox_text->setCurrentIndex(dlg.cbox_text->findData(0x0000FF));
        QCOMPARE(dlg.Memo1->palette().color(QPalette::Text), QColor(Qt::red));
        QCOMPARE(dlg.Memo1->palette().color(QPalette::Base), QColor(Qt::white));
        dlg.cb_bg->click();
        dlg.cbox_bg->setCurrentIndex(dlg.cbox_bg->findData(kZvColorInfoBk));
        QCOMPARE(dlg.Memo1->palette().color(QPalette::Base), ZvSystemColor(kZvColorInfoBk));
        dlg.cb_text->click(); // back to default: black
        QCOMPARE(dlg.Memo1->palette().color(QPalette::Text), QColor(Qt::black));

        // Cancel takes nothing.
        QTest::mouseClick(dlg.btn_Cancel, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(dlg.TextColor, 0);
        QCOMPARE(dlg.BackgroundColor, 0);
    }

    // ---- Set Due Date --------------------------------------------------------------------

    void dueDateAsks_data()
    {
        QTest::addColumn<bool>("flag");
        QTest::addColumn<int>("days");
        QTest::addColumn<bool>("asks");
        QTest::newRow("yesterday") << true << -1 << true;
        QTest::newRow("today, earlier hour") << true << 0 << true;
        QTest::newRow("tomorrow") << true << 1 << false;
        QTest::newRow("unchecked today") << false << 0 << false;
    }
    void dueDateAsks()
    {
        QFETCH(bool, flag);
        QFETCH(int, days);
        QFETCH(bool, asks);
        // A time of day before now: the comparison is by calendar day only.
        const TDateTime picked = DateTimeFromQ(kNow.addDays(days).addSecs(-3 * 3600 - 7));

        TDueSetDlg dlg;
        dlg.dueFlag = flag;
        dlg.dueTime = flag ? picked : 0;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.cb_due->isChecked(), flag);
        QCOMPARE(DateTimeFromQ(dlg.edt_due->dateTime()), flag ? picked : pinnedNow());
        QCOMPARE(QApplication::focusWidget()->parentWidget() == dlg.edt_due ||
                     QApplication::focusWidget() == dlg.edt_due,
                 true);

        MessageSeam::queueAnswer(IdCancel);
        QTest::mouseClick(dlg.Btn_Ok, Qt::LeftButton);
        if (asks) {
            QCOMPARE(MessageSeam::texts(), QStringList{"Date may be incorrect, are you sure?"});
            QCOMPARE(MessageSeam::history().first().caption, QStringLiteral("Ask"));
            QVERIFY(dlg.isVisible());
            QCOMPARE(dlg.dueFlag, flag);
            // Answering OK the second time takes the date.
            MessageSeam::queueAnswer(IdOk);
            QTest::mouseClick(dlg.Btn_Ok, Qt::LeftButton);
        } else {
            QVERIFY(MessageSeam::texts().isEmpty());
        }
        QVERIFY(!dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.dueFlag, flag);
        // The time of day the picker held is kept.
        QCOMPARE(MillisecondsBetween(flag ? picked : pinnedNow(), dlg.dueTime), 0);
    }

    void dueUserChangeChecksBox()
    {
        TDueSetDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(!dlg.cb_due->isChecked()); // setting the picker on show is no user change
        QTest::keyClick(dlg.edt_due, Qt::Key_Up);
        QVERIFY(dlg.cb_due->isChecked());
    }

    // ---- Set Reminder --------------------------------------------------------------------

    void reminderOnShow_data()
    {
        QTest::addColumn<bool>("armed");
        QTest::addColumn<qint64>("alarmOffset"); // from now; unused when not armed
        QTest::addColumn<qint64>("shownOffset"); // the combined value the pickers show
        QTest::addColumn<bool>("warning");
        QTest::newRow("unset proposes tomorrow") << false << qint64(0) << kDay << false;
        QTest::newRow("armed in an hour") << true << kHour << kHour << false;
        QTest::newRow("armed, due now") << true << qint64(0) << qint64(0) << true;
        QTest::newRow("armed yesterday") << true << -kDay << -kDay << true;
    }
    void reminderOnShow()
    {
        QFETCH(bool, armed);
        QFETCH(qint64, alarmOffset);
        QFETCH(qint64, shownOffset);
        QFETCH(bool, warning);

        TReminderSetDlg dlg;
        dlg.alarmFlag = armed;
        dlg.alarmTime = armed ? AddMilliseconds(pinnedNow(), alarmOffset) : 0;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.cb_reminder->isChecked(), armed);
        QCOMPARE(QApplication::focusWidget(), dlg.cb_reminder);
        QCOMPARE(MillisecondsBetween(pinnedNow(), dlg.CombinedTime()), shownOffset);
        QCOMPARE(!dlg.lbl_warning->isHidden(), warning);
        QCOMPARE(!dlg.Image_warning->isHidden(), warning);

        QTest::mouseClick(dlg.btn_ok, Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.alarmFlag, armed);
        QCOMPARE(MillisecondsBetween(pinnedNow(), dlg.alarmTime), shownOffset);
    }

    void reminderUserEdits()
    {
        TReminderSetDlg dlg;
        dlg.show();
        QVERIFY(dlg.lbl_warning->isHidden());

        // Moving the date to today (time still 10:00, i.e. now) checks the box and warns.
        dlg.edt_date->setDate(kNow.date());
        QVERIFY(dlg.cb_reminder->isChecked());
        QVERIFY(!dlg.lbl_warning->isHidden());
        // A later time of today clears the warning; a past one brings it back.
        dlg.edt_time->setTime(QTime(10, 0, 1));
        QVERIFY(dlg.lbl_warning->isHidden());
        dlg.edt_time->setTime(QTime(9, 30, 0));
        QVERIFY(!dlg.lbl_warning->isHidden());
        QCOMPARE(dlg.lbl_warning->text(), QStringLiteral("Date or time may be incorrect!"));
        QVERIFY(dlg.lbl_warning->font().bold());

        // Unchecking leaves the warning as it is; checking again updates it.
        dlg.cb_reminder->click();
        QVERIFY(!dlg.cb_reminder->isChecked());
        QVERIFY(!dlg.lbl_warning->isHidden());
        dlg.cb_reminder->click();
        QVERIFY(!dlg.lbl_warning->isHidden());
        Clock::setFixed(kNow.addSecs(-3600)); // 9:00: 9:30 lies ahead now
        dlg.cb_reminder->click();
        dlg.cb_reminder->click();
        QVERIFY(dlg.lbl_warning->isHidden());

        // The warning blocks nothing.
        dlg.edt_time->setTime(QTime(8, 0, 0));
        QVERIFY(!dlg.lbl_warning->isHidden());
        QTest::mouseClick(dlg.btn_ok, Qt::LeftButton);
        QVERIFY(dlg.alarmFlag);
        QCOMPARE(QFromDateTime(dlg.alarmTime), QDateTime(kNow.date(), QTime(8, 0, 0)));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
