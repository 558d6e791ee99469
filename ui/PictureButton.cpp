#include "ui/PictureButton.h"

#include <QPointer>

#include "ui/ActiveLabel.h"
#include "ui/WaitRoutine.h"

namespace qf::ui {

void pressThenAct(ActiveLabel& picture, const QString& pressedFile, const QString& ownFile,
                  const std::function<void()>& action) {
    const QPointer<ActiveLabel> guard(&picture);
    const bool wasShown = picture.window()->isVisible();
    picture.showPicture(pressedFile);
    const bool waited = waitMs(kPressedPictureMs);
    if (guard.isNull()) {
        return;  // the window was deleted during the wait, and the picture with it
    }
    picture.showPicture(ownFile);
    const bool closedMeanwhile = wasShown && !picture.window()->isVisible();
    if (waited && !closedMeanwhile) {
        action();
    }
}

}  // namespace qf::ui
