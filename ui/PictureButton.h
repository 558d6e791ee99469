// The press of a picture button: the picture shows the pressed face for
// 100 ms while events keep running, then its own face again.
#pragma once

#include <QString>

namespace qf::app {

class ActiveLabel;

inline constexpr int kPressedPictureMs = 100;

// Returns true when the caller should go on with the button's action; false
// when the application began to quit during the wait.
bool pressPicture(ActiveLabel& picture, const QString& pressedFile, const QString& ownFile);

}  // namespace qf::app
