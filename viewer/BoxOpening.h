// Opening a box from the main window: the box's new mail joins its total,
// the viewer shows the box's list with its last mail, and adapts its commands
// to the box.
#pragma once

namespace qf::ui {
class WindowEnvironment;
}

namespace qf::viewer {

struct BoxEntry;
class ViewerWindow;

// Opens `box` (of the catalogue: 1-6, 10 keep box, 11 send history) in
// `viewer`, which is brought to the front.
void openBox(ViewerWindow& viewer, ui::WindowEnvironment& env, const BoxEntry& box);

}  // namespace qf::viewer
