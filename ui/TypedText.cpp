#include "ui/TypedText.h"

#include "ui/MessageBoxes.h"

namespace qf::ui {

bool mayDiscardTypedText(QWidget* window, const HoldsTypedText& typed) {
    return !typed.holdsTypedText() || tell(window, Say::kDiscardTypedMail);
}

}  // namespace qf::ui
