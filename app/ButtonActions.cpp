// Entry points whose windows are not part of the program yet; each one is
// replaced by the call into its window or run as that arrives.
#include "app/ButtonActions.h"

#include "addressbook/BunbetuForm.h"
#include "addressbook/FriendForm.h"
#include "app/Application.h"
#include "compose/WriteForm.h"

namespace qf::app {

void openCompose(Application& app) {
    app.showForm<compose::WriteForm>();
}
void openAddressBook(Application& app) {
    app.showForm<addressbook::FriendForm>();
}
void openSortingRegistration(Application& app) {
    app.showForm<addressbook::BunbetuForm>();
}
void openAttachmentBrowser(Application& /*app*/) {}

}  // namespace qf::app
