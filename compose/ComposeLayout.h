// Where the compose window's controls lie, in twips, and its sizes.
//
// The window opens 7100 x 9340 with the address pane to the right of its
// visible area; opening the pane widens it to 9700. The Cc and Bcc rows lie
// under the recipient; everything below them keeps its place of the window
// without them (8500 high), moved down by their height. The hidden paste row
// lies just below the bottom line and shows only when the height grows by 455.
#pragma once

#include "base/Twips.h"
#include "compose/ButtonCaption.h"

namespace qf::compose::writelayout {

using base::TwipsRect;

inline constexpr int kClosedWidth = 7100;
inline constexpr int kPaneOpenWidth = 9700;
// The Cc and Bcc rows: two rows of 330 at the 420 pitch of the fields.
inline constexpr int kCopyRowsHeight = 2 * 420;
inline constexpr int kHeight = 8500 + kCopyRowsHeight;
inline constexpr int kPasteRowHeight = 8955 + kCopyRowsHeight;

// Picture buttons: send and stop on their large faces (1500 x 480), the
// five helpers in a row below on small ones (1320 x 390). Each caption label
// lies on the middle of its face, so the face's rim still shows around it.
inline constexpr TwipsRect kSendButton{120, 120, 1500, 480};
inline constexpr TwipsRect kStopButton{1740, 120, 1500, 480};
constexpr TwipsRect smallButton(int column) {
    return {120 + column * 1380, 720, 1320, 390};
}
using compose::captionOn;

// Fields, label column on the left.
inline constexpr int kLabelLeft = 120;
inline constexpr int kLabelWidth = 840;
inline constexpr int kFieldLeft = 1020;
inline constexpr int kFieldWidth = 5880;
inline constexpr int kRowHeight = 330;
constexpr TwipsRect labelBeside(const TwipsRect& field) {
    return {kLabelLeft, field.top, kLabelWidth, field.height};
}
// A control of the window without the copy rows, below the recipient: as
// far under them as it lay under the recipient.
constexpr TwipsRect belowCopies(const TwipsRect& rect) {
    return {rect.left, rect.top + kCopyRowsHeight, rect.width, rect.height};
}
inline constexpr TwipsRect kToRow{kFieldLeft, 1230, kFieldWidth, kRowHeight};
inline constexpr TwipsRect kCcRow{kFieldLeft, 1650, kFieldWidth, kRowHeight};
inline constexpr TwipsRect kBccRow{kFieldLeft, 2070, kFieldWidth, kRowHeight};
inline constexpr TwipsRect kSubjectRow = belowCopies({kFieldLeft, 1650, kFieldWidth, kRowHeight});
inline constexpr TwipsRect kGreetingRow = belowCopies({kFieldLeft, 2070, kFieldWidth, kRowHeight});
inline constexpr TwipsRect kAttachText = belowCopies({kFieldLeft, 2490, 3000, kRowHeight});
inline constexpr TwipsRect kAttachCommand = belowCopies({4080, 2490, 960, kRowHeight});
inline constexpr TwipsRect kAddCommand = belowCopies({5100, 2490, 840, kRowHeight});
inline constexpr TwipsRect kDropCommand = belowCopies({6000, 2490, 900, kRowHeight});
inline constexpr TwipsRect kFortuneCheck = belowCopies({120, 2910, 6780, kRowHeight});
inline constexpr TwipsRect kCancelOption = belowCopies({120, 3300, 1500, kRowHeight});
inline constexpr TwipsRect kBatchOption = belowCopies({1740, 3300, 1800, kRowHeight});
// The attachment list shows right of the batch options, below the fortune
// check box whose text runs almost the whole width; the body starts below it.
inline constexpr TwipsRect kAttachList = belowCopies({3660, 3270, 3240, 840});  // a row a file
inline constexpr TwipsRect kBody = belowCopies({120, 4170, 6780, 3450});
inline constexpr TwipsRect kStatusLine = belowCopies({120, 7740, 6780, 300});
inline constexpr TwipsRect kHelpBox = belowCopies({120, 8070, 6780, 330});
inline constexpr TwipsRect kPasteRow = belowCopies({120, 8520, 5400, kRowHeight});
inline constexpr TwipsRect kPasteButton = belowCopies({5580, 8520, 1320, kRowHeight});

// On a screen too short for the window (a small screen at a large scale)
// the screen fit cuts its height: the body gives up what is cut, down to
// this, and what lies below the body's top moves up by as much.
inline constexpr int kMinBodyHeight = 1200;
constexpr int bodyShrinkFor(int designHeight, int shownHeight) {
    const int cut = designHeight - shownHeight;
    return cut <= 0 ? 0
                    : (cut < kBody.height - kMinBodyHeight ? cut : kBody.height - kMinBodyHeight);
}

// Address pane, right of the 7100 line: the list grows with the window.
inline constexpr TwipsRect kPaneTitle{7140, 120, 2400, 300};
inline constexpr TwipsRect kAddressList{7140, 480, 2400, 6900 + kCopyRowsHeight};
inline constexpr TwipsRect kCountLabel = belowCopies({7140, 7500, 600, kRowHeight});
inline constexpr TwipsRect kCountText = belowCopies({7800, 7500, 900, kRowHeight});

// Top-left corner that centres a window of the given size on a screen.
struct TwipsPoint {
    int left = 0;
    int top = 0;
    bool operator==(const TwipsPoint&) const = default;
};
constexpr TwipsPoint centredOn(int screenWidth, int screenHeight, int width, int height) {
    return {(screenWidth - width) / 2, (screenHeight - height) / 2};
}

}  // namespace qf::compose::writelayout
