// Where the viewer window's controls sit, in twips of the window's client
// area (below menu bar and toolbar), and the arithmetic of its load steps.
//
// | rows (top..bottom) | controls                                                  |
// |--------------------|-----------------------------------------------------------|
// | 0..2000            | mail list                                                 |
// | 2060..2660         | the five picture commands; the count                      |
// | 2720..3320         | search text and its caption; help box                     |
// | 3400..3700         | subject, sender, date                                     |
// | 3900..             | body pane, placed by the load itself                      |
//
// Quick save, the copy field and header copy lie on the status bar.
// docs/GLOSSARY.md names each control's member and objectName().
#pragma once

#include "base/Twips.h"

namespace qf::viewer {

using base::TwipsRect;

inline constexpr int kDesignWidthTwips = 12000;
inline constexpr int kDesignHeightTwips = 9000;
// The client area's smallest height: with menu bar, toolbar and status bar
// the window still fits a 1366 x 768 screen at scale 1.5.
inline constexpr int kMinimumClientHeightTwips = 5400;

inline constexpr TwipsRect kMailListRect{0, 0, 11880, 2000};

// Picture commands: each caption label lies on its own picture.
// The move picture is the widest: its caption keeps up to 60 leading spaces.
inline constexpr TwipsRect kMoveRect{60, 2060, 4200, 600};         // move to the keep box
inline constexpr TwipsRect kDeleteOneRect{4320, 2060, 1320, 600};  // 「一件削除」
inline constexpr TwipsRect kRegisterRect{5700, 2060, 1740, 600};   // 「アドレス帳登録」
inline constexpr TwipsRect kReplyRect{7500, 2060, 1020, 600};      // 「返事」
inline constexpr TwipsRect kDeleteAllRect{8580, 2060, 1320, 600};  // 「全件削除」

// A command's caption lies on its picture, this far below the picture's top;
// the emphasised move caption (larger type) sits a little higher.
inline constexpr int kCommandCaptionTopTwips = 180;
inline constexpr int kEmphasisedCaptionTopTwips = 150;
inline constexpr int kCommandCaptionHeightTwips = 300;

constexpr TwipsRect commandCaptionRect(const TwipsRect& picture, int topTwips) {
    return {picture.left, picture.top + topTwips, picture.width, kCommandCaptionHeightTwips};
}

inline constexpr TwipsRect kCountLabelRect{9960, 2240, 600, 270};  // "件数"
inline constexpr TwipsRect kCountRect{10560, 2200, 1260, 330};     // the count

inline constexpr TwipsRect kSearchLabelRect{60, 2760, 900, 270};  // "検索文字"
inline constexpr TwipsRect kSearchRect{960, 2720, 2280, 330};     // search text
inline constexpr TwipsRect kHelpRect{3360, 2720, 8460, 600};      // help box

inline constexpr TwipsRect kSubjectRect{0, 3400, 6000, 330};
inline constexpr TwipsRect kSenderRect{6000, 3400, 3600, 330};
inline constexpr TwipsRect kDateRect{9600, 3400, 2280, 330};

// Load step 3: where the body pane goes.
inline constexpr int kBodyPaneLeftTwips = 20;
inline constexpr int kBodyPaneTopTwips = 3900;
inline constexpr int kBodyPaneBottomMarginTwips = 120;

struct ColumnWidths {
    int subject = 0;
    int from = 0;
    int date = 0;
};

// Load step 2: Subject takes half of the list's design width, From and Date
// a quarter each.
constexpr ColumnWidths listColumnWidths(int listWidthTwips) {
    return {listWidthTwips / 2, listWidthTwips / 4, listWidthTwips / 4};
}

// A share of a width in hundredths, rounded to the nearest twip.
constexpr int percentOf(int widthTwips, int percent) {
    return (widthTwips * percent + 50) / 100;
}

// Load step 4: the list takes 0.99 and the body pane 0.98 of the window's width.
constexpr int listWidthFor(int windowWidthTwips) {
    return percentOf(windowWidthTwips, 99);
}
constexpr int bodyPaneWidthFor(int windowWidthTwips) {
    return percentOf(windowWidthTwips, 98);
}

}  // namespace qf::viewer
