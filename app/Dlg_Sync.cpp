#include "app/Dlg_Sync.h"

#include "app/ZvSyncController.h"
#include "store/ZvDateTime.h"
#include "store/ZvGuard.h"
#include "store/pU_Funcs.h"
#include "sync/ZvDavClient.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QUuid>
#include <QVBoxLayout>

namespace zv {

namespace {

const char* const kTaskComponent = "VTODO";
const char* const kMemoComponent = "VJOURNAL";
// The lists' entries besides the server's collections.
const QString kOwnByName;                         // the program's own, made when missing
const QString kCreateNew = QStringLiteral("new"); // a new one, made at the next sync

} // namespace

TSyncDlg::TSyncDlg(TZvSyncController* controller, const QString& confFile, QWidget* parent)
    : QDialog(parent), m_controller(controller), m_confFile(confFile), m_config(TZvSyncConfig::Read(confFile))
{
    setWindowTitle(tr("Sync"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(13);
    setFont(f);

    edt_Url = new QLineEdit(m_config.url, this);
    edt_Url->setPlaceholderText(tr("https://server.example/dav/"));
    edt_User = new QLineEdit(m_config.user, this);
    edt_Password = new QLineEdit(this);
    edt_Password->setEchoMode(QLineEdit::Password);
    edt_Password->setPlaceholderText(tr("left empty: the one kept stays"));
    Btn_Connect = new QPushButton(tr("&Connect"), this);
    Comb_Tasks = new QComboBox(this);
    Comb_Memos = new QComboBox(this);
    spin_Interval = new QSpinBox(this);
    spin_Interval->setRange(1, 24 * 60);
    spin_Interval->setSuffix(tr(" minutes"));
    spin_Interval->setValue(m_config.interval);
    cb_Enabled = new QCheckBox(tr("&Sync this computer's tasks and memos"), this);
    cb_Enabled->setChecked(m_config.enabled);
    lbl_State = new QLabel(this);
    lbl_State->setWordWrap(true);
    Btn_SyncNow = new QPushButton(tr("Sync &Now"), this);
    Btn_Log = new QPushButton(tr("Sync &Log..."), this);
    Btn_Ok = new QPushButton(tr("OK"), this);
    Btn_Ok->setDefault(true);
    Btn_Cancel = new QPushButton(tr("Cancel"), this);

    // Before Connect the lists hold what is set; the server's own come with Connect.
    const auto initial = [](QComboBox* box, const QString& own, const QString& chosen) {
        box->addItem(own, kOwnByName);
        if (!chosen.isEmpty()) {
            box->addItem(chosen, chosen);
            box->setCurrentIndex(1);
        }
    };
    initial(Comb_Tasks, tr("Zorvik Jotboard tasks (made when missing)"), m_config.tasks);
    initial(Comb_Memos, tr("Zorvik Jotboard memos (made when missing)"), m_config.memos);

    auto* server = new QHBoxLayout;
    server->addWidget(edt_Url, 1);
    server->addWidget(Btn_Connect);
    auto* form = new QFormLayout;
    // A row whose field is a layout gets no buddy by itself: the label needs one for its key.
    auto* urlLabel = new QLabel(tr("Server &address:"), this);
    urlLabel->setBuddy(edt_Url);
    form->addRow(urlLabel, server);
    form->addRow(tr("&User name:"), edt_User);
    form->addRow(tr("&Password:"), edt_Password);
    form->addRow(tr("&Tasks:"), Comb_Tasks);
    form->addRow(tr("&Memos:"), Comb_Memos);
    form->addRow(tr("&Interval:"), spin_Interval);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Btn_SyncNow);
    buttons->addWidget(Btn_Log);
    buttons->addStretch();
    buttons->addWidget(Btn_Ok);
    buttons->addWidget(Btn_Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cb_Enabled);
    layout->addLayout(form);
    layout->addWidget(lbl_State);
    layout->addStretch();
    layout->addLayout(buttons);
    resize(520, 330);

    connect(Btn_Connect, &QPushButton::clicked, this, [this] { Guarded([this] { Connect(); }); });
    connect(Btn_Ok, &QPushButton::clicked, this, &TSyncDlg::accept);
    connect(Btn_Cancel, &QPushButton::clicked, this, &TSyncDlg::reject);
    connect(Btn_SyncNow, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            if (!Store()) return;
            lbl_State->setText(tr("Syncing…"));
            m_controller->SyncNow({}, true);
        });
    });
    connect(Btn_Log, &QPushButton::clicked, this, [this] {
        Guarded([this] {
            TSyncLogDlg log(m_controller->Log(), this);
            log.exec();
        });
    });
    connect(m_controller, &TZvSyncController::finished, this, [this] { showLastResult(); });
    showLastResult();
}

TSyncDlg::~TSyncDlg() = default;

TZvSyncConfig TSyncDlg::configOfFields() const
{
    TZvSyncConfig c = m_config;
    c.url = edt_Url->text().trimmed();
    c.user = edt_User->text().trimmed();
    c.interval = spin_Interval->value();
    c.enabled = cb_Enabled->isChecked();
    const auto chosen = [this](QComboBox* box, const char* slug) {
        const QString data = box->currentData().toString();
        if (data != kCreateNew) return data;
        return m_home
            .resolved(QUrl(QString::fromLatin1(slug) +
                           QUuid::createUuid().toString(QUuid::WithoutBraces).left(8) + QLatin1Char('/')))
            .toString();
    };
    c.tasks = chosen(Comb_Tasks, "zorvik-jotboard-tasks-");
    c.memos = chosen(Comb_Memos, "zorvik-jotboard-memos-");
    // Another server or user is another account: its pin and consent do not carry over.
    if (c.serverUrl().host() != m_config.serverUrl().host() ||
        c.serverUrl().port() != m_config.serverUrl().port()) {
        c.pin.clear();
        c.plainHttp = false;
    }
    return c;
}

void TSyncDlg::showLastResult()
{
    const std::optional<TZvSyncResult>& last = m_controller->LastResult();
    if (!last) return;
    QStringList lines{last->succeeded() ? last->summary() : tr("Sync failed: %1").arg(last->line())};
    lines += last->notes;
    lbl_State->setText(lines.join(QLatin1Char('\n')));
}

void TSyncDlg::Connect()
{
    TZvSyncConfig c = configOfFields();
    if (!c.configured()) {
        lbl_State->setText(tr("Type the server's address first."));
        return;
    }
    if (!TZvSyncController::AllowPlainHttp(c)) return;
    m_config.plainHttp = c.plainHttp;
    QString password = edt_Password->text();
    if (password.isEmpty()) password = LookUpSyncPassword(c).password.value_or(QString());
    m_client = std::make_unique<TZvDavClient>(SyncSettingsOf(c, password, QString()).account);
    Btn_Connect->setEnabled(false);
    lbl_State->setText(tr("Connecting…"));
    m_client->discover([this](const TZvDavDiscovery& found) {
        Guarded([&] {
            Btn_Connect->setEnabled(true);
            const QString untrusted = m_client->untrustedCertificate();
            if (!found.error.isEmpty() && !untrusted.isEmpty() && m_controller->AskToTrust(untrusted)) {
                m_config.pin = untrusted;
                return Connect();
            }
            if (!found.error.isEmpty()) {
                lbl_State->setText(found.error);
                return;
            }
            fillCollections(found);
        });
    });
}

void TSyncDlg::fillCollections(const TZvDavDiscovery& found)
{
    m_home = found.home;
    int journals = 0;
    const auto fill = [&](QComboBox* box, const char* component, const QString& own, const QString& chosen) {
        box->clear();
        box->addItem(own, kOwnByName);
        for (const TZvDavCollection& c : found.collections) {
            if (!c.takes(QString::fromLatin1(component))) continue;
            if (box == Comb_Memos) ++journals;
            const QString name = c.displayName.isEmpty() ? c.url.toDisplayString() : c.displayName;
            box->addItem(name, c.url.toString());
            if (c.url.toString() == chosen) box->setCurrentIndex(box->count() - 1);
        }
        box->addItem(tr("Create new"), kCreateNew);
    };
    fill(Comb_Tasks, kTaskComponent, tr("Zorvik Jotboard tasks (made when missing)"), m_config.tasks);
    fill(Comb_Memos, kMemoComponent, tr("Zorvik Jotboard memos (made when missing)"), m_config.memos);
    lbl_State->setText(
        journals == 0 ? tr("Connected. The server lists no journals yet: if it refuses to keep "
                           "them, memos are not synced.")
                      : tr("Connected: %n collection(s) found.", nullptr, int(found.collections.size())));
}

bool TSyncDlg::Store()
{
    TZvSyncConfig c = configOfFields();
    if (c.configured() && !TZvSyncController::AllowPlainHttp(c)) return false;
    c.Write(m_confFile);
    m_config = c;
    const QString password = edt_Password->text();
    if (!password.isEmpty()) {
        m_controller->KeepPassword(c, password);
        edt_Password->clear();
    }
    m_controller->SettingsChanged();
    return true;
}

void TSyncDlg::accept()
{
    bool stored = false;
    Guarded([&] { stored = Store(); });
    if (stored) QDialog::accept();
}

TSyncLogDlg::TSyncLogDlg(const std::vector<TZvSyncLogEntry>& entries, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Sync Log"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    Grid = new QTableWidget(int(entries.size()), 5, this);
    Grid->setHorizontalHeaderLabels({tr("When"), tr("Up"), tr("Down"), tr("Conflicts"), tr("Error")});
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->verticalHeader()->hide();
    Grid->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(entries.size()); ++row) {
        const TZvSyncLogEntry& e = entries[size_t(row)];
        const QStringList cells{DateTimeText(e.time), QString::number(e.up), QString::number(e.down),
                                QString::number(e.conflicts), e.message};
        for (int col = 0; col < cells.size(); ++col)
            Grid->setItem(row, col, new QTableWidgetItem(cells[col]));
    }
    Grid->resizeColumnsToContents();
    auto* close = new QPushButton(tr("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Grid);
    layout->addLayout(buttons);
    resize(560, 320);
}

} // namespace zv
