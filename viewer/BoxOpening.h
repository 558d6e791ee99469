// Opening a box from the main window: the box's new mail joins its total,
// the viewer shows the box's list with its last mail, and adapts its commands
// to the box.
#pragma once

namespace qf::ui {
class WindowEnvironment;
}

namespace qf::viewer {

// Opens box 1-6, 10 (keep box) or 11 (send history) in the viewer.
void openBox(ui::WindowEnvironment& env, int box);

// Opens the box, then shows and selects record n as a click on its row does
// (the selection marker is set); a number past the list selects nothing.
void openBoxAtMail(ui::WindowEnvironment& env, int box, int recordNumber);

}  // namespace qf::viewer
