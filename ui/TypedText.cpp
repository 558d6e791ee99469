#include "ui/TypedText.h"

#include "ui/MessageBoxes.h"

namespace qf::ui {

bool mayDiscardTypedText(QWidget* window, const HoldsTypedText& typed) {
    return !typed.holdsTypedText() || tell(window, Say::kDiscardTypedMail);
}

bool mayCloseHoldingTypedText(QWidget* window, const HoldsTypedText& typed, bool sending,
                              bool& closingByCommand, bool shuttingDown) {
    if (sending) {
        return false;
    }
    const bool asked = !closingByCommand && !shuttingDown;
    closingByCommand = false;
    return !asked || mayDiscardTypedText(window, typed);
}

}  // namespace qf::ui
