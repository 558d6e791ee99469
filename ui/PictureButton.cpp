#include "ui/PictureButton.h"

#include "ui/ActiveLabel.h"
#include "ui/WaitRoutine.h"

namespace qf::app {

bool pressPicture(ActiveLabel& picture, const QString& pressedFile, const QString& ownFile) {
    picture.showPicture(pressedFile);
    const bool waited = waitMs(kPressedPictureMs);
    picture.showPicture(ownFile);
    return waited;
}

}  // namespace qf::app
