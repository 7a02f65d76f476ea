#include "tasks/Dlg_ColorSet.h"

#include "platform/ZvColors.h"
#include "platform/ZvIcons.h"
#include "store/ZvGuard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <tuple>

namespace zv {

namespace {

struct NamedColor
{
    const char* name;
    int number; // 0x00BBGGRR
};

// The standard colours, then the extended ones, in the order the boxes list them.
const NamedColor kListedColors[] = {
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Black"), 0x000000},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Maroon"), 0x000080},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Green"), 0x008000},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Olive"), 0x008080},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Navy"), 0x800000},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Purple"), 0x800080},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Teal"), 0x808000},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Gray"), 0x808080},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Silver"), 0xC0C0C0},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Red"), 0x0000FF},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Lime"), 0x00FF00},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Yellow"), 0x00FFFF},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Blue"), 0xFF0000},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Fuchsia"), 0xFF00FF},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Aqua"), 0xFFFF00},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "White"), 0xFFFFFF},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Money Green"), 0xC0DCC0},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Sky Blue"), 0xF0CAA6},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Cream"), 0xF0FBFF},
    {QT_TRANSLATE_NOOP("zv::TColorSetDlg", "Medium Gray"), 0xA4A0A0},
};

constexpr int kBlack = 0x000000;
constexpr int kWhite = 0xFFFFFF;

QIcon swatch(int colorNumber)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const QColor fill = ZvSystemColor(colorNumber);
    painter.fillRect(1, 1, 14, 14, fill.isValid() ? fill : QColor(Qt::transparent));
    painter.setPen(Qt::black);
    painter.drawRect(1, 1, 13, 13);
    return QIcon(pixmap);
}

QComboBox* makeColorBox(QWidget* parent, const QString& name)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    for (const NamedColor& c : kListedColors)
        box->addItem(swatch(c.number), QCoreApplication::translate("zv::TColorSetDlg", c.name), c.number);
    // System colours are drawn with the running palette, so their swatches follow the desktop.
    for (int i = 0; i < kZvSystemColorCount; ++i) {
        const int number = ZvSysColorNumber(i);
        box->addItem(swatch(number), ZvSystemColorName(i), number);
    }
    box->setMaxVisibleItems(16);
    return box;
}

QString customName()
{
    return QCoreApplication::translate("zv::TColorSetDlg", "Custom");
}

} // namespace

TColorSetDlg::TColorSetDlg(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ColorSetDlg"));
    setWindowTitle(tr("Set Color"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(541, 271);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(32, 32);
    Image1->setPixmap(ZvPixmap(ImageList::Main22, 0, 32));

    GroupBox_text = new QGroupBox(tr("Text Color"), this);
    cb_text = new QCheckBox(tr("Default Text Color"), GroupBox_text);
    cb_text->setObjectName(QStringLiteral("cb_text"));
    cbox_text = makeColorBox(GroupBox_text, QStringLiteral("cbox_text"));
    SelectColor(cbox_text, kBlack);

    GroupBox_bg = new QGroupBox(tr("Background Color"), this);
    cb_bg = new QCheckBox(tr("Default Background Color"), GroupBox_bg);
    cb_bg->setObjectName(QStringLiteral("cb_bg"));
    cbox_bg = makeColorBox(GroupBox_bg, QStringLiteral("cbox_bg"));
    SelectColor(cbox_bg, kWhite);

    for (auto [group, check, box] :
         {std::tuple{GroupBox_text, cb_text, cbox_text}, std::tuple{GroupBox_bg, cb_bg, cbox_bg}}) {
        auto* grid = new QGridLayout(group);
        grid->addWidget(check, 0, 0, 1, 2);
        grid->addWidget(new QLabel(tr("Custom: "), group), 1, 0);
        grid->addWidget(box, 1, 1);
        grid->setColumnStretch(1, 1);
    }

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setPlainText(tr("  Zorvik Software"));
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo1->setFixedHeight(Memo1->fontMetrics().lineSpacing() * 2 + 2 * Memo1->frameWidth() +
                          2 * int(Memo1->document()->documentMargin()));

    btn_Default = new QPushButton(tr("Default"), this);
    btn_Default->setObjectName(QStringLiteral("btn_Default"));
    btn_Ok = new QPushButton(tr("OK"), this);
    btn_Ok->setObjectName(QStringLiteral("btn_Ok"));
    btn_Ok->setDefault(true);
    btn_Cancel = new QPushButton(tr("Cancel"), this);
    btn_Cancel->setObjectName(QStringLiteral("btn_Cancel"));

    auto* groups = new QHBoxLayout;
    groups->addWidget(GroupBox_text);
    groups->addWidget(GroupBox_bg);

    auto* preview = new QHBoxLayout;
    preview->addWidget(new QLabel(tr("Preview:"), this));
    preview->addWidget(Memo1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btn_Default);
    buttons->addWidget(btn_Ok);
    buttons->addWidget(btn_Cancel);

    auto* body = new QVBoxLayout;
    body->addLayout(groups);
    body->addLayout(preview);
    body->addStretch(1);
    body->addLayout(buttons);

    auto* top = new QHBoxLayout(this);
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addLayout(body, 1);

    connect(cb_text, &QCheckBox::clicked, this, [this] { Guarded([&] { cb_textClick(); }); });
    connect(cb_bg, &QCheckBox::clicked, this, [this] { Guarded([&] { cb_bgClick(); }); });
    connect(cbox_text, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([&] { cbox_textChange(); }); });
    connect(cbox_bg, &QComboBox::currentIndexChanged, this, [this] { Guarded([&] { cbox_bgChange(); }); });
    connect(btn_Ok, &QPushButton::clicked, this, [this] { Guarded([&] { btn_OkClick(); }); });
    connect(btn_Default, &QPushButton::clicked, this, [this] { Guarded([&] { btn_DefaultClick(); }); });
    connect(btn_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int TColorSetDlg::SelectedColor(const QComboBox* box)
{
    return box->currentIndex() < 0 ? 0 : box->currentData().toInt();
}

void TColorSetDlg::SelectColor(QComboBox* box, int colorNumber)
{
    int index = box->findData(colorNumber);
    if (index < 0) {
        // A colour the lists do not hold (from another copy of the program, or a restored
        // file) is kept as it is rather than replaced by some other entry.
        box->insertItem(0, swatch(colorNumber), customName(), colorNumber);
        index = 0;
    }
    box->setCurrentIndex(index);
}

void TColorSetDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous() && !m_shown) {
        m_shown = true;
        Guarded([&] { FormShow(); });
    }
}

void TColorSetDlg::FormShow()
{
    cb_text->setChecked(TextColor == 0);
    cb_bg->setChecked(BackgroundColor == 0);
    cbox_text->setEnabled(TextColor != 0);
    cbox_bg->setEnabled(BackgroundColor != 0);

    // Only a colour the task really has changes the preview; the defaults leave the
    // preview in the window's own colours.
    if (TextColor != 0) {
        const QSignalBlocker block(cbox_text);
        SelectColor(cbox_text, TextColor);
        const QColor c = ZvSystemColor(TextColor);
        SetPreviewColors(&c, nullptr);
    }
    if (BackgroundColor != 0) {
        const QSignalBlocker block(cbox_bg);
        SelectColor(cbox_bg, BackgroundColor);
        const QColor c = ZvSystemColor(BackgroundColor);
        SetPreviewColors(nullptr, &c);
    }
}

void TColorSetDlg::cb_textClick()
{
    cbox_text->setEnabled(!cb_text->isChecked());
    UpdatePreview();
}

void TColorSetDlg::cb_bgClick()
{
    cbox_bg->setEnabled(!cb_bg->isChecked());
    UpdatePreview();
}

void TColorSetDlg::cbox_textChange()
{
    UpdatePreview();
}

void TColorSetDlg::cbox_bgChange()
{
    UpdatePreview();
}

void TColorSetDlg::UpdatePreview()
{
    const QColor text = cb_text->isChecked() ? QColor(Qt::black) : ZvSystemColor(SelectedColor(cbox_text));
    const QColor background = cb_bg->isChecked() ? QColor(Qt::white) : ZvSystemColor(SelectedColor(cbox_bg));
    SetPreviewColors(&text, &background);
}

void TColorSetDlg::SetPreviewColors(const QColor* text, const QColor* background)
{
    QPalette palette = Memo1->palette();
    // An unknown system colour number has no colour: the preview keeps what it shows.
    if (text && text->isValid()) palette.setColor(QPalette::Text, *text);
    if (background && background->isValid()) palette.setColor(QPalette::Base, *background);
    Memo1->setPalette(palette);
}

void TColorSetDlg::btn_OkClick()
{
    TextColor = cb_text->isChecked() ? 0 : SelectedColor(cbox_text);
    BackgroundColor = cb_bg->isChecked() ? 0 : SelectedColor(cbox_bg);
    accept();
}

void TColorSetDlg::btn_DefaultClick()
{
    TextColor = 0;
    BackgroundColor = 0;
    accept();
}

} // namespace zv
