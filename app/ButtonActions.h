// What the main window's buttons start, for the windows and the run that
// live outside the application shell. Each is the one entry point of its
// window or run; the application object calls them after a button's press.
#pragma once

namespace qf::app {

class Application;

// The receive run of the Receive button.
void runReceive(Application& app);
// Opens box 1-6, 10 (keep box) or 11 (send history) in the viewer.
void openBox(Application& app, int box);
void openCompose(Application& app);
void openAddressBook(Application& app);
void openSortingRegistration(Application& app);
void openAttachmentBrowser(Application& app);

}  // namespace qf::app
