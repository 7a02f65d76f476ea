#include "app/Dlg_About.h"

#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "components/ZvVersionInfo.h"
#include "platform/ZvIcons.h"
#include "store/ZvGuard.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace zv {

namespace {
QFrame* bevel(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* linkLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setPixelSize(15);
    f.setUnderline(true);
    label->setFont(f);
    label->setStyleSheet(QStringLiteral("color: blue;"));
    label->setCursor(Qt::PointingHandCursor);
    return label;
}
} // namespace

QPixmap TAboutDlg::AppPicture(const QString& programFolder)
{
    // A missing or unreadable picture is cosmetic: our own icon stands in, silently.
    QPixmap picture(programFolder + QStringLiteral("Images/appIcon.png"));
    if (picture.isNull()) picture = ZvPixmap(ImageList::Main22, 0, 65);
    return picture;
}

TAboutDlg::TAboutDlg(TcommonDm* common, QWidget* parent) : QDialog(parent), m_common(common)
{
    setWindowTitle(tr("About..."));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    TmainFm* main = m_common->main();

    Image_App = new QLabel(this);
    Image_App->setFixedSize(65, 65);
    Image_App->setScaledContents(true);
    Image_App->setPixmap(AppPicture(main->ProgramFolder));

    Label_AppName = new QLabel(tr("Zorvik Jotboard"), this);
    QFont nameFont = Label_AppName->font();
    nameFont.setPixelSize(19);
    nameFont.setBold(true);
    Label_AppName->setFont(nameFont);

    lbl_version = new QLabel(this);
    Guarded([&] {
        if (main->ZvVersionInfo1) lbl_version->setText(main->ZvVersionInfo1->GetValue(2));
    });

    lbl_web = linkLabel(TcommonDm::kMainPage, this);
    lbl_support = linkLabel(TcommonDm::kSupportMail, this);
    lbl_web->installEventFilter(this);
    lbl_support->installEventFilter(this);

    auto* notice1 = new QLabel(tr("Copyright (C) Zorvik. All rights reserved."), this);
    auto* notice2 = new QLabel(tr("This program keeps all its data on this computer."), this);
    notice1->setWordWrap(true);
    notice2->setWordWrap(true);

    Button1 = new QPushButton(tr("Close"), this);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* head = new QHBoxLayout;
    head->addWidget(Image_App);
    auto* names = new QVBoxLayout;
    names->addWidget(Label_AppName);
    names->addWidget(lbl_version);
    names->addStretch();
    head->addLayout(names, 1);

    auto* links = new QGridLayout;
    links->addWidget(new QLabel(tr("Website:"), this), 0, 0);
    links->addWidget(lbl_web, 0, 1);
    links->addWidget(new QLabel(tr("Support:"), this), 1, 0);
    links->addWidget(lbl_support, 1, 1);
    links->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(bevel(this));
    layout->addLayout(links);
    layout->addWidget(bevel(this));
    layout->addWidget(notice1);
    layout->addWidget(notice2);
    layout->addStretch();
    layout->addWidget(bevel(this));
    layout->addLayout(buttons);
    setFixedSize(372, 372);
}

bool TAboutDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == lbl_web) {
            Guarded([&] { m_common->VisitWebsite(); });
            return true;
        }
        if (watched == lbl_support) {
            Guarded([&] { m_common->MailSupport(); });
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace zv
