#include "viewer/BoxOpening.h"

#include <QString>

#include "ui/WindowEnvironment.h"
#include "viewer/ViewerBoxes.h"
#include "viewer/ViewerWindow.h"

namespace qf::viewer {

void openBox(ViewerWindow& viewer, ui::WindowEnvironment& env, const BoxEntry& box) {
    if (box.isReceivingBox()) {
        env.mainWindow().addNewToTotal(box.number);
    }
    viewer.clearShownMail();
    ui::WindowEnvironment::bringUp(viewer);
    viewer.applyBox(box, QString::fromStdString(boxCaption(box, env.held().registrations)));
    viewer.loadList();
}

}  // namespace qf::viewer
