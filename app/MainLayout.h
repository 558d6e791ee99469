// Where every control of the main window lies, in twips. The window does not
// change its layout when resized, so these are the only positions there are.
//
// Panel of picture buttons (two rows of four), the box table on the right
// (one row per receiving box: caption over address, total, new), the two
// scrolling pictures in a strip on the left, help bar and clock at the bottom.
#pragma once

#include <array>

#include "base/Twips.h"

namespace qf::app {
// The program shell lays its windows out with the kit's twips throughout.
using base::evenSteps;
using base::pixelsToTwips;
using base::TwipsRect;
using base::twipsToPixels;
}  // namespace qf::app

namespace qf::app::mainlayout {

inline constexpr TwipsRect kClient{0, 0, 10800, 5400};
inline constexpr TwipsRect kBanner{0, 0, 10800, 900};       // m_banner
inline constexpr TwipsRect kSearch{7620, 150, 900, 360};    // m_searchButton
inline constexpr TwipsRect kHomePage{8640, 150, 900, 360};  // m_homePageButton
inline constexpr TwipsRect kMinimise{9660, 150, 900, 360};  // m_minimiseButton
inline constexpr TwipsRect kVersion{8640, 570, 1920, 270};  // m_version

// Scrolling pictures: m_risingPicture climbs, m_fallingPicture falls, 13 stops 240 twips apart.
inline constexpr int kSlideSteps = 13;
inline constexpr int kSlideStepTwips = 240;
inline constexpr int kSlidePictureTwips = 480;
inline constexpr TwipsRect kRisingPicture{300, 4020, kSlidePictureTwips, kSlidePictureTwips};
inline constexpr TwipsRect kFallingPicture{840, 1060, kSlidePictureTwips, kSlidePictureTwips};
inline constexpr auto kRisingTops = evenSteps<kSlideSteps>(4020, -kSlideStepTwips);
inline constexpr auto kFallingTops = evenSteps<kSlideSteps>(1060, kSlideStepTwips);

// Picture buttons: a 1200 x 1080 face; its caption label covers the upper
// two thirds, the face's own word shows below it.
inline constexpr int kButtonWidth = 1200;
inline constexpr int kButtonHeight = 1080;
inline constexpr std::array<int, 4> kButtonColumns{1620, 3000, 4380, 5760};
inline constexpr std::array<int, 2> kButtonRows{1140, 2460};

constexpr TwipsRect buttonFace(int row, int column) {
    return {kButtonColumns[static_cast<std::size_t>(column)],
            kButtonRows[static_cast<std::size_t>(row)], kButtonWidth, kButtonHeight};
}
constexpr TwipsRect buttonCaption(int row, int column) {
    const TwipsRect face = buttonFace(row, column);
    return {face.left, face.top, face.width, 720};
}

// Raw text of the mail being received, and the no-new-mail notice over it.
inline constexpr TwipsRect kRawText{1620, 3780, 5340, 720};  // m_rawText
inline constexpr TwipsRect kNotice{2520, 3930, 3540, 420};   // m_noNewMailNotice

// Box table on its panel picture (m_boxPanel).
inline constexpr TwipsRect kBoxPanel{7200, 1020, 3480, 3480};
inline constexpr int kBoxRows = 6;
inline constexpr int kBoxRowTop = 1500;
inline constexpr int kBoxRowStep = 480;
inline constexpr int kBoxRowHeight = 420;
inline constexpr int kCaptionColumn = 7320;
inline constexpr int kCaptionWidth = 1560;
inline constexpr int kTotalColumn = 9000;
inline constexpr int kNewColumn = 9840;
inline constexpr int kCounterWidth = 720;
inline constexpr TwipsRect kTotalHeading{kTotalColumn, 1140, kCounterWidth, 300};
inline constexpr TwipsRect kNewHeading{kNewColumn, 1140, kCounterWidth, 300};

constexpr int boxRowTop(int row) {
    return kBoxRowTop + row * kBoxRowStep;
}
constexpr TwipsRect boxCaption(int row) {
    return {kCaptionColumn, boxRowTop(row), kCaptionWidth, 240};
}
constexpr TwipsRect boxAddress(int row) {
    return {kCaptionColumn, boxRowTop(row) + 240, kCaptionWidth, kBoxRowHeight - 240};
}
constexpr TwipsRect boxTotal(int row) {
    return {kTotalColumn, boxRowTop(row) + 45, kCounterWidth, 330};
}
constexpr TwipsRect boxNew(int row) {
    return {kNewColumn, boxRowTop(row) + 45, kCounterWidth, 330};
}

inline constexpr TwipsRect kHelpBar{180, 4680, 7560, 360};  // m_helpBar
inline constexpr TwipsRect kClock{7920, 4680, 2760, 360};   // m_clock

// The settings window opens this far right of and below the main window's corner.
inline constexpr int kSettingsOffsetX = 7500;
inline constexpr int kSettingsOffsetY = 2500;

}  // namespace qf::app::mainlayout
