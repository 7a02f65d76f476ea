#include "platform/ZvColors.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPalette>

namespace zv {
namespace {

struct SystemColor
{
    const char* name;
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

// Indexed by the system colour number.
const SystemColor kSystemColors[kZvSystemColorCount] = {
    {QT_TRANSLATE_NOOP("ZvColors", "Scroll Bar"), QPalette::Active, QPalette::Button},
    {QT_TRANSLATE_NOOP("ZvColors", "Background"), QPalette::Active, QPalette::Window},
    {QT_TRANSLATE_NOOP("ZvColors", "Active Caption"), QPalette::Active, QPalette::Highlight},
    {QT_TRANSLATE_NOOP("ZvColors", "Inactive Caption"), QPalette::Active, QPalette::Mid},
    {QT_TRANSLATE_NOOP("ZvColors", "Menu"), QPalette::Active, QPalette::Window},
    {QT_TRANSLATE_NOOP("ZvColors", "Window"), QPalette::Active, QPalette::Base},
    {QT_TRANSLATE_NOOP("ZvColors", "Window Frame"), QPalette::Active, QPalette::Shadow},
    {QT_TRANSLATE_NOOP("ZvColors", "Menu Text"), QPalette::Active, QPalette::WindowText},
    {QT_TRANSLATE_NOOP("ZvColors", "Window Text"), QPalette::Active, QPalette::WindowText},
    {QT_TRANSLATE_NOOP("ZvColors", "Caption Text"), QPalette::Active, QPalette::HighlightedText},
    {QT_TRANSLATE_NOOP("ZvColors", "Active Border"), QPalette::Active, QPalette::Button},
    {QT_TRANSLATE_NOOP("ZvColors", "Inactive Border"), QPalette::Active, QPalette::Midlight},
    {QT_TRANSLATE_NOOP("ZvColors", "App Workspace"), QPalette::Active, QPalette::Dark},
    {QT_TRANSLATE_NOOP("ZvColors", "Highlight"), QPalette::Active, QPalette::Highlight},
    {QT_TRANSLATE_NOOP("ZvColors", "Highlight Text"), QPalette::Active, QPalette::HighlightedText},
    {QT_TRANSLATE_NOOP("ZvColors", "Button Face"), QPalette::Active, QPalette::Button},
    {QT_TRANSLATE_NOOP("ZvColors", "Button Shadow"), QPalette::Active, QPalette::Dark},
    {QT_TRANSLATE_NOOP("ZvColors", "Gray Text"), QPalette::Disabled, QPalette::Text},
    {QT_TRANSLATE_NOOP("ZvColors", "Button Text"), QPalette::Active, QPalette::ButtonText},
    {QT_TRANSLATE_NOOP("ZvColors", "Inactive Caption Text"), QPalette::Inactive, QPalette::WindowText},
    {QT_TRANSLATE_NOOP("ZvColors", "Button Highlight"), QPalette::Active, QPalette::Light},
    {QT_TRANSLATE_NOOP("ZvColors", "3D Dark Shadow"), QPalette::Active, QPalette::Shadow},
    {QT_TRANSLATE_NOOP("ZvColors", "3D Light"), QPalette::Active, QPalette::Midlight},
    {QT_TRANSLATE_NOOP("ZvColors", "Info Text"), QPalette::Active, QPalette::ToolTipText},
    {QT_TRANSLATE_NOOP("ZvColors", "Info Background"), QPalette::Active, QPalette::ToolTipBase},
};

} // namespace

QColor ZvSystemColor(int colorNumber)
{
    const auto n = static_cast<unsigned>(colorNumber);
    if (ZvIsSystemColor(colorNumber)) {
        const unsigned index = n & 0x00FFFFFFu;
        if (index >= static_cast<unsigned>(kZvSystemColorCount)) return QColor();
        const SystemColor& s = kSystemColors[index];
        return QApplication::palette().color(s.group, s.role);
    }
    return QColor(int(n & 0xFF), int((n >> 8) & 0xFF), int((n >> 16) & 0xFF));
}

QString ZvSystemColorName(int index)
{
    if (index < 0 || index >= kZvSystemColorCount) return QString();
    return QCoreApplication::translate("ZvColors", kSystemColors[index].name);
}

int ZvColorNumber(const QColor& color)
{
    if (!color.isValid()) return 0;
    const QColor c = color.toRgb();
    return c.red() | (c.green() << 8) | (c.blue() << 16);
}

} // namespace zv
