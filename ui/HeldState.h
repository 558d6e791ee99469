// What the program holds for the whole run, apart from any window: the
// application owns the one HeldState and every window reaches it through its
// WindowEnvironment, so closing a window loses none of it.
#pragma once

#include <optional>
#include <string>

#include "settings/AccountFiles.h"
#include "settings/ServerSettings.h"

namespace qf::ui {

struct HeldState {
    // "corvid.ini" as read at start and as last confirmed in the settings window.
    settings::ServerSettings server;
    // The senders of boxes 1-5, as read at start and re-read by each receive run.
    settings::SortingRegistrations registrations;
    // The account last confirmed with OK in the ID/password window in this
    // run, and whether "IDパスワードを保存する" was ticked then; before any
    // OK, the account file's.
    std::optional<settings::Account> account;
    bool keepAccount = false;
    // The ID/password window's fields as typed, while that window exists.
    std::optional<settings::Account> accountShown;
    // Set once a receive run of this program run stored a mail.
    bool newMailFlag = false;
    // The box the viewer last listed (0 before the first opening); it outlives
    // the viewer window, so a reopened viewer still knows it.
    int currentBox = 0;
    // The viewer editor's current file (UTF-8 path): empty at start, named by
    // the editor's New, loaded whenever the viewer opens; kept for this run only.
    std::string editorCurrentFile;
};

}  // namespace qf::ui
