#include "editor/EditorLayout.h"

#include <algorithm>

namespace qf::editor {
namespace {

// A share of a length in hundredths, rounded to the nearest twip.
constexpr int share(int twips, int hundredths) {
    return (twips * hundredths + 50) / 100;
}

}  // namespace

ResizeLayout resizeLayout(const ResizeInput& in, bool withMaximisedRule) {
    const int w = in.windowWidth;
    const int h = in.windowHeight;
    ResizeLayout out;
    out.listWidth = share(w, 99);
    out.listHeight = share(h, 25);

    const int fieldTop = out.listHeight + 1440;
    const int dateWidth = std::max(share(w, 20), in.dateMinWidth);
    const int senderWidth = std::max(0, share(w, 30) - (dateWidth - share(w, 20)));
    out.subject = {in.paneLeft - 15, fieldTop, share(w, 50), 0};
    out.sender = {out.subject.left + share(w, 50), fieldTop, senderWidth, 0};
    out.date = {out.sender.left + senderWidth - 20, fieldTop, dateWidth, 0};

    out.pictureWidth = w;

    const int paneTop = out.listHeight + 1830;
    int paneHeight = share(h - out.listHeight, 56);
    if (in.clientHeight > 0) {
        paneHeight = std::clamp(in.clientHeight - paneTop - kPaneBottomMarginTwips, 0, paneHeight);
    }
    out.pane = {in.paneLeft, paneTop, share(w, 99), paneHeight};

    out.copyFieldLeft = in.quickSaveLeft + 1280;
    out.copyFieldTop = in.statusBar.top + 80;
    out.copyHeaderLeft = in.statusBar.left + 1880;
    out.copyHeaderTop = in.statusBar.top + 80;
    if (withMaximisedRule && in.maximised) {
        out.copyFieldTop = h - 1000;
        out.copyHeaderTop = h - 980;
    }
    out.commandRowShift = out.listHeight - kDesignListHeightTwips;
    return out;
}

}  // namespace qf::editor
