// Windows that hold text the user typed and that a close would lose (the
// compose and reply windows). A close by the frame asks first; the program's
// end asks once for all of them (WindowEnvironment::anyWindowHoldsTypedText).
#pragma once

#include <QWidget>

namespace qf::ui {

class HoldsTypedText {
  public:
    virtual ~HoldsTypedText() = default;
    // True while the window holds typed text that is not sent.
    virtual bool holdsTypedText() const = 0;
};

// For a close that did not come from the window's own send or stop: true
// when `window` may close, because it holds nothing typed or the user chose
// to discard it.
bool mayDiscardTypedText(QWidget* window, const HoldsTypedText& typed);

}  // namespace qf::ui
