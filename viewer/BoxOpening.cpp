#include "viewer/BoxOpening.h"

#include <QString>

#include "ui/WindowEnvironment.h"
#include "viewer/TyakuForm.h"
#include "viewer/ViewerBoxes.h"

namespace qf::viewer {

void openBox(ui::WindowEnvironment& env, int boxNumber) {
    const BoxEntry* box = findBox(boxNumber);
    if (box == nullptr) {
        return;
    }
    if (box->isReceivingBox()) {
        env.mainWindow().addNewToTotal(boxNumber);
    }
    TyakuForm& viewer = env.form<TyakuForm>();
    viewer.clearShownMail();
    env.showForm<TyakuForm>();
    viewer.applyBox(*box, QString::fromStdString(boxCaption(*box, env.held().registrations)));
    viewer.loadList();
}

void openBoxAtMail(ui::WindowEnvironment& env, int box, int recordNumber) {
    openBox(env, box);
    if (TyakuForm* viewer = env.existingForm<TyakuForm>()) {
        viewer->showRecord(recordNumber);
    }
}

}  // namespace qf::viewer
