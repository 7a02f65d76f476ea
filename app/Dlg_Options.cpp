#include "app/Dlg_Options.h"

#include "app/Dlg_Sync.h"
#include "app/Dm_Common.h"
#include "app/Fm_Main.h"
#include "store/ZvGuard.h"
#include "store/ZvIniFile.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace zv {

TOptionsDlg::TOptionsDlg(TcommonDm* common, QWidget* parent) : QDialog(parent), m_common(common)
{
    setWindowTitle(tr("Options"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(13);
    setFont(f);

    cb_AutoStart = new QCheckBox(tr("Start with Windows"), this);
    cb_AutoMinimized = new QCheckBox(tr("Run program minimized"), this);
    cb_AddOpen = new QCheckBox(tr("Add new item while open"), this);
    auto* bevel = new QFrame(this);
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    Btn_Sync = new QPushButton(tr("S&ync..."), this);
    Btn_Ok = new QPushButton(tr("OK"), this);
    Btn_Ok->setDefault(true);
    Button2 = new QPushButton(tr("Cancel"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Btn_Sync);
    buttons->addStretch();
    buttons->addWidget(Btn_Ok);
    buttons->addWidget(Button2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cb_AutoStart);
    layout->addWidget(cb_AutoMinimized);
    layout->addWidget(cb_AddOpen);
    layout->addStretch();
    layout->addWidget(bevel);
    layout->addLayout(buttons);
    setFixedSize(285, 198);

    connect(Btn_Ok, &QPushButton::clicked, this, &TOptionsDlg::accept);
    connect(Btn_Sync, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            TSyncDlg sync(m_common->main()->SyncController, m_common->main()->ConfFile, this);
            sync.exec();
        });
    });
    connect(Button2, &QPushButton::clicked, this, &TOptionsDlg::reject);

    // The values in force for this run: after an update prompt at start, "Run program
    // minimized" shows unchecked.
    Guarded([&] {
        cb_AutoStart->setChecked(m_common->IsAutoStart());
        cb_AutoMinimized->setChecked(m_common->main()->RunMinimizedEn);
        cb_AddOpen->setChecked(m_common->main()->AddOpenEn);
    });
}

void TOptionsDlg::Apply()
{
    TmainFm* main = m_common->main();
    main->RunMinimizedEn = cb_AutoMinimized->isChecked();
    main->AddOpenEn = cb_AddOpen->isChecked();
    TIniFile ini(main->ConfFile);
    ini.WriteBool(QStringLiteral("option"), QStringLiteral("runMinimizedEn"), main->RunMinimizedEn);
    ini.WriteBool(QStringLiteral("option"), QStringLiteral("addOpenEn"), main->AddOpenEn);
    m_common->SetAutoStart(cb_AutoStart->isChecked());
}

void TOptionsDlg::accept()
{
    // A refused write ends the command with the error box; the dialog closes either way.
    Guarded([&] { Apply(); });
    QDialog::accept();
}

} // namespace zv
