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

// The close guard of the compose and reply windows: false while `sending`
// (a close would pull the fields from under the send); otherwise a close
// that is neither the window's own command (`closingByCommand`, reset here)
// nor the program's end asks before typed text goes.
bool mayCloseHoldingTypedText(QWidget* window, const HoldsTypedText& typed, bool sending,
                              bool& closingByCommand, bool shuttingDown);

}  // namespace qf::ui
