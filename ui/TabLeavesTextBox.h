// Tab in a multi-line text box moves the focus on, as in every other control
// of a window, and Ctrl+Tab types a tab into the text.
#pragma once

class QTextEdit;

namespace qf::ui {

void makeTabLeaveTextBox(QTextEdit& box);

}  // namespace qf::ui
