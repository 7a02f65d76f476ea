#pragma once

#include <QColor>
#include <QString>

namespace zv {

// Colour numbers as the program stores them (tasks table, colour dialog):
//   0x00BBGGRR            a plain colour (red in the low byte);
//   0xFF0000nn            system colour number nn, 0 to 0x18, taken from the running style's
//                         palette so that it follows the desktop (see ZvSystemColor).
// In the tasks table 0 means "default colour"; callers test for 0 before asking for a colour.

inline constexpr int kZvSystemColorCount = 25;

// The colour number of system colour `index` (0xFF000000 | index), as a signed 32-bit value.
constexpr int ZvSysColorNumber(int index)
{
    return static_cast<int>(0xFF000000u | static_cast<unsigned>(index & 0xFF));
}

inline constexpr int kZvColorGrayText = ZvSysColorNumber(0x11);   // placeholder, completed tasks
inline constexpr int kZvColorWindowText = ZvSysColorNumber(0x08); // normal text
inline constexpr int kZvColorInfoBk = ZvSysColorNumber(0x18);     // hot row background

// True when the number names a system colour (high byte 0xFF).
constexpr bool ZvIsSystemColor(int colorNumber)
{
    return (static_cast<unsigned>(colorNumber) >> 24) == 0xFFu;
}

// The colour a number stands for. System colours map to roles of QApplication::palette():
//   0 Scroll Bar -> Button           13 Highlight -> Highlight
//   1 Background -> Window           14 Highlight Text -> HighlightedText
//   2 Active Caption -> Highlight    15 Button Face -> Button
//   3 Inactive Caption -> Mid        16 Button Shadow -> Dark
//   4 Menu -> Window                 17 Gray Text -> Text of the Disabled group
//   5 Window -> Base                 18 Button Text -> ButtonText
//   6 Window Frame -> Shadow         19 Inactive Caption Text -> WindowText of the Inactive group
//   7 Menu Text -> WindowText        20 Button Highlight -> Light
//   8 Window Text -> WindowText      21 3D Dark Shadow -> Shadow
//   9 Caption Text -> HighlightedText 22 3D Light -> Midlight
//  10 Active Border -> Button        23 Info Text -> ToolTipText
//  11 Inactive Border -> Midlight    24 Info Background -> ToolTipBase
//  12 App Workspace -> Dark
// Gray text is the disabled text colour (opaque), not PlaceholderText, which Qt makes
// semi-transparent and which would then depend on what lies below it.
// A system number beyond 0x18 gives an invalid QColor, so the caller can use its default.
// Any other high byte is ignored: the low 24 bits are read as 0xBBGGRR.
QColor ZvSystemColor(int colorNumber);

// The display name of system colour `index` ("Scroll Bar" ... "Info Background"); empty
// outside 0..24. Used by the colour dialog's list.
QString ZvSystemColorName(int index);

// The plain colour number 0x00BBGGRR of a colour (alpha dropped); 0 for an invalid colour.
int ZvColorNumber(const QColor& color);

} // namespace zv
