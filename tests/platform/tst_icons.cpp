// Image-list entries and colour numbers: every picture a frame names must show something
// even on a desktop without an icon theme, and colour numbers must follow the palette.
#include "platform/ZvColors.h"
#include "platform/ZvIcons.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QTemporaryDir>
#include <QtTest>

using zv::ImageList;

Q_DECLARE_METATYPE(zv::ImageList)

namespace {

// The entries the frames and the main window refer to.
struct Used
{
    ImageList list;
    const char* what;
    QList<int> entries;
};

const QList<Used>& usedEntries()
{
    static const QList<Used> used = {
        {ImageList::Task16, "task16", {3,  4,  5,  8,  9,  10, 11, 13, 14, 15,
                                       16, 18, 19, 20, 21, 22, 23, 24, 28, 29}},
        {ImageList::Task22, "task22", {3, 4, 5, 8, 9, 10, 11, 13, 14, 15, 28, 29}},
        {ImageList::Memo16, "memo16", {0, 2, 3, 4, 7, 8, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22}},
        {ImageList::Memo22, "memo22", {2, 3, 4, 7, 8, 10, 11, 12, 13}},
        {ImageList::Main22, "main22", {1, 2, 18}},
        {ImageList::Tray16, "tray16", {0}},
    };
    return used;
}

bool hasInk(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 128) ++opaque;
    // A recognisable glyph covers a fair part of its square.
    return opaque >= argb.width() * argb.height() / 10;
}

QImage picture(ImageList list, int entry, int size = 16)
{
    return zv::ZvPixmap(list, entry, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestIcons : public QObject
{
    Q_OBJECT

private slots:
    void init() { QIcon::setThemeName(QString()); }

    void entriesShowWithoutTheme_data();
    void entriesShowWithoutTheme();
    void undefinedEntriesAreEmpty_data();
    void undefinedEntriesAreEmpty();
    void statesLookDifferent_data();
    void statesLookDifferent();
    void framesNumberDifferently_data();
    void framesNumberDifferently();
    void themeIconsWin_data();
    void themeIconsWin();

    void systemColours_data();
    void systemColours();
    void plainColours_data();
    void plainColours();
    void colourNumberOfColour_data();
    void colourNumberOfColour();
    void systemColourNames_data();
    void systemColourNames();
};

void TestIcons::entriesShowWithoutTheme_data()
{
    QTest::addColumn<QString>("theme");
    QTest::addColumn<ImageList>("list");
    QTest::addColumn<int>("entry");
    for (const QString& theme : {QString(), QStringLiteral("zv-no-such-theme")})
        for (const Used& u : usedEntries())
            for (int entry : u.entries)
                QTest::addRow("%s %s #%d", theme.isEmpty() ? "no-theme" : "bogus-theme", u.what, entry)
                    << theme << u.list << entry;
}

void TestIcons::entriesShowWithoutTheme()
{
    QFETCH(QString, theme);
    QFETCH(ImageList, list);
    QFETCH(int, entry);
    QIcon::setThemeName(theme);

    const QIcon icon = zv::ZvImage(list, entry);
    QVERIFY(!icon.isNull());
    // Our own pictures carry both list sizes, so neither is a blurred rescale.
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY2(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(22, 22)),
             "missing 16 or 22 pixel picture");
    for (int size : {16, 22}) {
        const QImage image = picture(list, entry, size);
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY2(hasInk(image), "picture is blank");
    }
}

void TestIcons::undefinedEntriesAreEmpty_data()
{
    QTest::addColumn<ImageList>("list");
    QTest::addColumn<int>("entry");
    QTest::newRow("task: no image") << ImageList::Task16 << -1;
    QTest::newRow("memo: no image") << ImageList::Memo16 << -1;
    QTest::newRow("task: unused 0") << ImageList::Task16 << 0;
    QTest::newRow("memo: unused 1") << ImageList::Memo16 << 1;
    QTest::newRow("tray: beyond the one picture") << ImageList::Tray16 << 1;
    QTest::newRow("far out") << ImageList::Main22 << 100000;
}

void TestIcons::undefinedEntriesAreEmpty()
{
    QFETCH(ImageList, list);
    QFETCH(int, entry);
    QVERIFY(zv::ZvImage(list, entry).isNull());
    QVERIFY(zv::ZvPixmap(list, entry, 16).isNull());
}

void TestIcons::statesLookDifferent_data()
{
    QTest::addColumn<ImageList>("list");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::newRow("task sort up/down") << ImageList::Task16 << 9 << 10;
    QTest::newRow("task expand/collapse") << ImageList::Task22 << 13 << 14;
    QTest::newRow("task add/add sub") << ImageList::Task22 << 15 << 3;
    QTest::newRow("task reminder/overdue") << ImageList::Task16 << 22 << 23;
    QTest::newRow("task overdue/due") << ImageList::Task16 << 23 << 24;
    QTest::newRow("task search idle/active") << ImageList::Task16 << 20 << 21;
    QTest::newRow("task tips edit/no result") << ImageList::Task16 << 16 << 19;
    QTest::newRow("memo top/sub") << ImageList::Memo16 << 0 << 21;
    QTest::newRow("memo sort up/down") << ImageList::Memo22 << 7 << 8;
    QTest::newRow("memo search idle/active") << ImageList::Memo16 << 18 << 19;
    QTest::newRow("memo search/wide") << ImageList::Memo16 << 18 << 22;
    QTest::newRow("tabs") << ImageList::Main22 << 1 << 2;
}

void TestIcons::statesLookDifferent()
{
    QFETCH(ImageList, list);
    QFETCH(int, a);
    QFETCH(int, b);
    QVERIFY(picture(list, a) != picture(list, b));
}

void TestIcons::framesNumberDifferently_data()
{
    QTest::addColumn<int>("taskEntry");
    QTest::addColumn<int>("memoEntry");
    QTest::newRow("add") << 15 << 13;
    QTest::newRow("add sub-item") << 3 << 2;
    QTest::newRow("edit") << 4 << 3;
    QTest::newRow("delete") << 5 << 4;
    QTest::newRow("sort ascending") << 9 << 7;
    QTest::newRow("list view") << 11 << 10;
    QTest::newRow("collapse all") << 14 << 12;
    QTest::newRow("edit tip") << 16 << 14;
    QTest::newRow("save all") << 28 << 15;
    QTest::newRow("print") << 29 << 16;
    QTest::newRow("no result tip") << 19 << 17;
    QTest::newRow("search idle") << 20 << 18;
}

// The same command under each frame's own number gives the same picture.
void TestIcons::framesNumberDifferently()
{
    QFETCH(int, taskEntry);
    QFETCH(int, memoEntry);
    QCOMPARE(picture(ImageList::Memo16, memoEntry), picture(ImageList::Task16, taskEntry));
    QCOMPARE(picture(ImageList::Memo22, memoEntry, 22), picture(ImageList::Task22, taskEntry, 22));
}

void TestIcons::themeIconsWin_data()
{
    QTest::addColumn<ImageList>("list");
    QTest::addColumn<int>("entry");
    QTest::addColumn<QColor>("expected"); // invalid: our own picture
    QTest::newRow("first name in the theme") << ImageList::Task16 << 15 << QColor(Qt::red);
    QTest::newRow("same name, memo numbering") << ImageList::Memo16 << 13 << QColor(Qt::red);
    QTest::newRow("second name when the first is missing") << ImageList::Task16 << 23 << QColor(Qt::blue);
    QTest::newRow("theme without the names") << ImageList::Task16 << 22 << QColor();
}

// With an icon theme installed, the desktop's pictures replace ours name by name.
void TestIcons::themeIconsWin()
{
    QFETCH(ImageList, list);
    QFETCH(int, entry);
    QFETCH(QColor, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString theme = dir.path() + QStringLiteral("/zvtesttheme");
    QVERIFY(QDir().mkpath(theme + QStringLiteral("/16x16/actions")));
    QFile index(theme + QStringLiteral("/index.theme"));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=zvtesttheme\nDirectories=16x16/actions\n\n"
                "[16x16/actions]\nSize=16\nType=Fixed\n");
    index.close();
    auto solid = [&](const char* name, QColor colour) {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(colour);
        return image.save(theme + QStringLiteral("/16x16/actions/") + QLatin1String(name) +
                          QStringLiteral(".png"));
    };
    QVERIFY(solid("list-add", Qt::red));
    QVERIFY(solid("dialog-warning", Qt::blue));

    const QStringList oldPaths = QIcon::themeSearchPaths();
    QIcon::setThemeSearchPaths({dir.path()});
    QIcon::setThemeName(QStringLiteral("zvtesttheme"));
    const QImage got = picture(list, entry);
    QIcon::setThemeName(QString());
    QIcon::setThemeSearchPaths(oldPaths);

    if (expected.isValid())
        QCOMPARE(QColor(got.pixel(8, 8)), expected);
    else
        QCOMPARE(got,
                 zv::ZvBundledImage(list, entry).pixmap(16).toImage().convertToFormat(QImage::Format_ARGB32));
}

void TestIcons::systemColours_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("role");
    QTest::newRow("gray text") << int(0xFF000011) << int(QPalette::Disabled) << int(QPalette::Text);
    QTest::newRow("gray text as stored (signed)")
        << -16777199 << int(QPalette::Disabled) << int(QPalette::Text);
    QTest::newRow("window text") << int(0xFF000008) << int(QPalette::Active) << int(QPalette::WindowText);
    QTest::newRow("info background") << int(0xFF000018) << int(QPalette::Active)
                                     << int(QPalette::ToolTipBase);
    QTest::newRow("info text") << int(0xFF000017) << int(QPalette::Active) << int(QPalette::ToolTipText);
    QTest::newRow("window") << int(0xFF000005) << int(QPalette::Active) << int(QPalette::Base);
    QTest::newRow("highlight") << int(0xFF00000D) << int(QPalette::Active) << int(QPalette::Highlight);
    QTest::newRow("highlight text") << int(0xFF00000E) << int(QPalette::Active)
                                    << int(QPalette::HighlightedText);
    QTest::newRow("button face") << int(0xFF00000F) << int(QPalette::Active) << int(QPalette::Button);
    QTest::newRow("button text") << int(0xFF000012) << int(QPalette::Active) << int(QPalette::ButtonText);
    QTest::newRow("scroll bar (index 0)")
        << int(0xFF000000) << int(QPalette::Active) << int(QPalette::Button);
}

void TestIcons::systemColours()
{
    QFETCH(int, number);
    QFETCH(int, group);
    QFETCH(int, role);
    // A palette in which every group and role has its own colour, so a wrong role shows.
    QPalette palette;
    int n = 1;
    for (int g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        for (int r = 0; r < QPalette::NColorRoles; ++r, ++n)
            palette.setColor(QPalette::ColorGroup(g), QPalette::ColorRole(r),
                             QColor::fromRgb(n * 3, n * 5 % 256, n));
    const QPalette old = QApplication::palette();
    QApplication::setPalette(palette);
    const QColor got = zv::ZvSystemColor(number);
    const QColor want = QApplication::palette().color(QPalette::ColorGroup(group), QPalette::ColorRole(role));
    QApplication::setPalette(old);
    QCOMPARE(got, want);
}

void TestIcons::plainColours_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("red is the low byte") << 0x000000FF << QColor(255, 0, 0);
    QTest::newRow("green") << 0x0000FF00 << QColor(0, 255, 0);
    QTest::newRow("blue is the third byte") << 0x00FF0000 << QColor(0, 0, 255);
    QTest::newRow("mixed") << 0x00123456 << QColor(0x56, 0x34, 0x12);
    QTest::newRow("black") << 0 << QColor(0, 0, 0);
    QTest::newRow("white") << 0x00FFFFFF << QColor(255, 255, 255);
    QTest::newRow("system number out of range") << int(0xFF000019) << QColor();
    QTest::newRow("system number far out") << int(0xFFFFFFFF) << QColor();
}

void TestIcons::plainColours()
{
    QFETCH(int, number);
    QFETCH(QColor, colour);
    QCOMPARE(zv::ZvSystemColor(number), colour);
}

void TestIcons::colourNumberOfColour_data()
{
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<int>("number");
    QTest::newRow("red") << QColor(255, 0, 0) << 0x000000FF;
    QTest::newRow("blue") << QColor(0, 0, 255) << 0x00FF0000;
    QTest::newRow("mixed") << QColor(0x56, 0x34, 0x12) << 0x00123456;
    QTest::newRow("alpha dropped") << QColor(1, 2, 3, 4) << 0x00030201;
    QTest::newRow("hsv colour") << QColor::fromHsv(0, 255, 255) << 0x000000FF;
    QTest::newRow("invalid is the default") << QColor() << 0;
}

void TestIcons::colourNumberOfColour()
{
    QFETCH(QColor, colour);
    QFETCH(int, number);
    QCOMPARE(zv::ZvColorNumber(colour), number);
    if (colour.isValid() && colour.alpha() == 255) QCOMPARE(zv::ZvSystemColor(number), colour.toRgb());
}

void TestIcons::systemColourNames_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("name");
    QTest::newRow("first") << 0 << "Scroll Bar";
    QTest::newRow("window text") << 8 << "Window Text";
    QTest::newRow("gray text") << 17 << "Gray Text";
    QTest::newRow("3D dark shadow") << 21 << "3D Dark Shadow";
    QTest::newRow("last") << 24 << "Info Background";
    QTest::newRow("past the end") << 25 << "";
    QTest::newRow("negative") << -1 << "";
}

void TestIcons::systemColourNames()
{
    QFETCH(int, index);
    QFETCH(QString, name);
    QCOMPARE(zv::ZvSystemColorName(index), name);
}

QTEST_MAIN(TestIcons)
#include "tst_icons.moc"
