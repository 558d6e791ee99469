// Opening a box from the main window: the box's new mail joins its total,
// the viewer shows the box's list with its last mail, and adapts its commands
// to the box.
#include "app/Application.h"
#include "app/ButtonActions.h"
#include "app/MainForm.h"
#include "viewer/BoxCatalogue.h"
#include "viewer/TyakuForm.h"

namespace qf::app {

void openBox(Application& app, int boxNumber) {
    const viewer::BoxEntry* box = viewer::findBox(boxNumber);
    if (box == nullptr) {
        return;
    }
    MainForm& main = app.mainForm();
    if (box->isReceivingBox()) {
        main.addNewToTotal(boxNumber);
    }
    viewer::TyakuForm& viewer = app.form<viewer::TyakuForm>();
    viewer.clearShownMail();
    app.showForm<viewer::TyakuForm>();
    viewer.applyBox(*box, QString::fromStdString(viewer::boxCaption(*box, main.registrations())));
    viewer.loadList();
}

}  // namespace qf::app
