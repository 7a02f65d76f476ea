#include "app/Dlg_Update.h"

#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "platform/ZvIcons.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace zv {

TupdateDlg::TupdateDlg(TcommonDm* common, QWidget* parent, int timeoutMs) : QDialog(parent), m_common(common)
{
    setWindowTitle(tr("Zorvik Update"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    Image1 = new QLabel(this);
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(ZvPixmap(ImageList::Main22, 3, 32));
    Label1 = new QLabel(tr("Updates are published on the Zorvik website."), this);
    Label2 = new QLabel(
        tr("Would you like to see more information about these updates and how to obtain them? "), this);
    Label2->setWordWrap(true);

    btn_Yes = new QPushButton(tr("&Yes"), this);
    QFont bold = btn_Yes->font();
    bold.setBold(true);
    btn_Yes->setFont(bold);
    btn_Yes->setDefault(true);
    Button2 = new QPushButton(tr("&No"), this);

    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);

    cb_ask = new QCheckBox(tr("Do not ask me again."), this);
    cb_ask->setStyleSheet(QStringLiteral("QCheckBox { color: blue; }"));
    cb_ask->setChecked(false);

    auto* text = new QVBoxLayout;
    text->addWidget(Label1);
    text->addWidget(Label2);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btn_Yes);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->addWidget(bevel);
    layout->addWidget(cb_ask);
    setFixedSize(577, 181);

    connect(btn_Yes, &QPushButton::clicked, this, &TupdateDlg::btn_YesClick);
    connect(Button2, &QPushButton::clicked, this, [this] { done(kNo); });
    // clicked, not toggled: only the user's clicks write the option.
    connect(cb_ask, &QCheckBox::clicked, this, &TupdateDlg::cb_askClick);

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(timeoutMs);
    connect(Timer1, &QTimer::timeout, this, &TupdateDlg::Timer1Timer);
    Timer1->start();
}

void TupdateDlg::btn_YesClick()
{
    Guarded([&] { m_common->VisitWebsite(); });
    done(kYes);
}

void TupdateDlg::cb_askClick()
{
    Guarded([&] {
        // Ticked turns the prompt off, unticked on again.
        const bool ask = !cb_ask->isChecked();
        TmainFm* main = m_common->main();
        main->VisitWebEn = ask;
        TIniFile(main->ConfFile).WriteBool(QStringLiteral("option"), QStringLiteral("visitWebEn"), ask);
    });
}

void TupdateDlg::Timer1Timer()
{
    Timer1->stop();
    done(kNo);
}

} // namespace zv
