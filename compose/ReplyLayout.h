// Where the reply window's controls lie, in twips. The window opens at
// kOpenWidth x kOpenHeight; on every resize the body, the recipient and
// subject fields and the attachment list follow the window's size, and the
// three attachment buttons follow the attachment field's right edge.
#pragma once

#include "base/Twips.h"
#include "compose/ButtonCaption.h"

namespace qf::compose::backlayout {

using base::TwipsRect;

inline constexpr int kOpenWidth = 7800;
inline constexpr int kOpenHeight = 7400;
inline constexpr int kAttachTextOpenWidth = 2800;

// Picture buttons along the top, captions on the middle of their faces.
constexpr TwipsRect pictureButton(int column) {
    return {120 + column * 1620, 120, 1500, 480};
}
using compose::captionOn;

inline constexpr int kLabelLeft = 120;
inline constexpr int kLabelWidth = 900;
inline constexpr int kFieldLeft = 1080;
inline constexpr int kRowHeight = 330;
inline constexpr int kToTop = 780;
inline constexpr int kSubjectTop = 1200;
inline constexpr int kAttachTop = 1620;
inline constexpr int kBodyTop = 2040;
inline constexpr int kBodyLeft = 120;
inline constexpr int kAttachCommandWidth = 780;
inline constexpr int kAddCommandWidth = 840;
inline constexpr int kDropCommandWidth = 900;
inline constexpr int kAttachListHeight = 900;
// The quoting choice, right of the picture buttons.
inline constexpr TwipsRect kQuoteCheck{120 + 3 * 1620, 195, 2600, kRowHeight};

struct Sizes {
    int bodyWidth;
    int bodyHeight;
    int fieldWidth;  // recipient and subject
    int attachTextWidth;
    int attachCommandLeft;
    int addCommandLeft;
    int dropCommandLeft;
    bool operator==(const Sizes&) const = default;
};

// The proportions for a window of width w and height h (twips).
constexpr Sizes sizesFor(int w, int h) {
    const int attach = w * 4 / 10;
    return {w * 97 / 100,  h * 68 / 100,  w * 7 / 10,   attach,
            attach + 1240, attach + 2060, attach + 2940};
}

}  // namespace qf::compose::backlayout
