// The press of a picture button: the picture shows the pressed face for
// 100 ms while events keep running, then its own face again, and then the
// button's action runs.
#pragma once

#include <QString>
#include <functional>

namespace qf::ui {

class ActiveLabel;

inline constexpr int kPressedPictureMs = 100;

// Shows the pressed face, waits, shows the own face and runs `action`. The
// window may close during the wait (its events keep running): when the
// picture is gone by then, nothing more is touched; the action runs only
// when the window is still open and the application did not begin to quit.
void pressThenAct(ActiveLabel& picture, const QString& pressedFile, const QString& ownFile,
                  const std::function<void()>& action);

}  // namespace qf::ui
