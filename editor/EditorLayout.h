// The viewer's layout when its window is resized, in twips, as numbers that
// can be tested without a window. W and H are the window's width and height.
//
// | step | what                                                              |
// |------|-------------------------------------------------------------------|
// | 1    | copy field and header-copy button are shown                       |
// | 2    | mail list: width 0.99 W, height 0.25 H                            |
// | 3    | subject/sender/date: top = list height + 1440;                    |
// |      | widths 0.5, 0.3, 0.2 W                                            |
// | 4    | picture strip: width W                                            |
// | 5    | body pane: width 0.99 W, top = list height + 1830,                |
// |      | height = 0.56 (H - list height)                                   |
// | 6    | copy field and header-copy button on the status bar               |
// | 7    | maximised only: copy field top H - 1000, button top H - 980       |
//
// Two additions keep every control in sight in a small window: the rows of
// commands and the search field follow the list's bottom as they lie below
// it at the design size, and the pane ends inside the client area.
#pragma once

#include "base/Twips.h"

namespace qf::editor {

using base::TwipsRect;

struct ResizeInput {
    int windowWidth = 0;
    int windowHeight = 0;
    int paneLeft = 0;       // the body pane's left
    int quickSaveLeft = 0;  // the quick-save button's left
    TwipsRect statusBar;    // in window coordinates
    bool maximised = false;
    // Where the client area ends below the pane's top; 0 leaves the pane's
    // height as computed.
    int clientHeight = 0;
    // The date field's narrowest width that still shows a whole date; the
    // sender field gives up what it takes beyond 0.2 W.
    int dateMinWidth = 0;
};

struct ResizeLayout {
    int listWidth = 0;
    int listHeight = 0;
    TwipsRect subject;
    TwipsRect sender;  // height 0: keeps its own
    TwipsRect date;
    int pictureWidth = 0;
    TwipsRect pane;  // the body pane
    int copyFieldLeft = 0;
    int copyFieldTop = 0;
    int copyHeaderLeft = 0;
    int copyHeaderTop = 0;
    // How far the command and search rows move down from their design place.
    int commandRowShift = 0;
};

// The list height at which the command rows are at their design place.
inline constexpr int kDesignListHeightTwips = 2000;
// The smallest gap left between the pane and the end of the client area.
inline constexpr int kPaneBottomMarginTwips = 60;

// Steps 1 to 6, and step 7 as well when `withMaximisedRule` is set.
ResizeLayout resizeLayout(const ResizeInput& input, bool withMaximisedRule = true);

}  // namespace qf::editor
