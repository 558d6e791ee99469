#include "viewer/BoxOpening.h"

#include <QString>

#include "ui/WindowEnvironment.h"
#include "viewer/TyakuForm.h"
#include "viewer/ViewerBoxes.h"

namespace qf::viewer {

void openBox(TyakuForm& viewer, ui::WindowEnvironment& env, const BoxEntry& box) {
    if (box.isReceivingBox()) {
        env.mainWindow().addNewToTotal(box.number);
    }
    viewer.clearShownMail();
    ui::WindowEnvironment::bringUp(viewer);
    viewer.applyBox(box, QString::fromStdString(boxCaption(box, env.held().registrations)));
    viewer.loadList();
}

}  // namespace qf::viewer
