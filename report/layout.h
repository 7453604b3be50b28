#pragma once

// Page layout of a report, in device units of its PDF (1200 per inch),
// origin at the top left of the printable area.
namespace Layout {
constexpr int UnitsPerInch = 1200;
constexpr int LeftX = 500; // logo, headings and the left column
constexpr int ColumnWidth = 4462;
constexpr int RightX = LeftX + ColumnWidth; // the right column
constexpr int FullWidth = 2 * ColumnWidth; // a heading box
constexpr int RightEdge = LeftX + FullWidth; // right edge of the text area
constexpr int BoxHeight = 250; // a line box
constexpr int LinePitch = 330; // cursor advance per line
constexpr int TopY = 500; // the logo's top, and the cursor on every new page
constexpr int BottomLimit = 13028; // page-break threshold for the cursor

constexpr int BlockGap = 2 * LinePitch; // from a block's last line to the next block

// General settings
constexpr int GeneralHeadingHeight = 280;
constexpr int GeneralRightWidth = ColumnWidth + 500; // its right column reaches to 9924
constexpr int GeneralSectionHeight = 1810; // from its first line to the next section

// Blocks kept together on a page
constexpr int OutputBlockHeight = 6 * LinePitch;
constexpr int OutputBlockAdvance = 5 * LinePitch; // from one output heading to the next
constexpr int RelaisMinBlockHeight = 5 * LinePitch; // a relais of two states
constexpr int RelaisFixedLines = 3; // heading, thresholds and the gap after the states

constexpr int TlfHeadingWidth = FullWidth + 1000;

// Title block
constexpr int LogoScale = 4; // every logo pixel becomes 4 x 4 units
constexpr int PathY = 950; // top of the source path's box
constexpr int TitleGap = 740; // from the logo's bottom to the first heading

// A line whose value changed (a change report's copy of a report): a bar in
// the left margin, in the logo's red, the height of the line's box.
constexpr int ChangeMarkX = 280;
constexpr int ChangeMarkWidth = 100;
constexpr unsigned ChangeMarkRgb = 0xE30613;

// Font pixel sizes: 12, 13.2 and 9 points at 1200 units per inch
constexpr int BodyPixelSize = 200;
constexpr int HeadingPixelSize = 220;
constexpr int PathPixelSize = 150;
} // namespace Layout
