// What the compose window and its sender take from the rest of the program
// at each use.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "base/Status.h"
#include "settings/AccountFiles.h"
#include "settings/ProgramFolder.h"
#include "settings/ServerSettings.h"

namespace qf::store {
class MailStore;
}

namespace qf::compose {

struct ComposeEnvironment {
    settings::ProgramFolder folder{std::filesystem::path()};
    std::function<settings::ServerSettings()> serverSettings;
    std::function<settings::Account()> account;  // SMTP AUTH credentials
    // An OAuth account's access tokens (SendSettings::accessToken); null
    // for a password account.
    std::function<std::function<Result<std::string>(bool)>()> accessTokenSource = [] {
        return std::function<Result<std::string>(bool)>();
    };
    std::function<QString()> clockText;  // the main window's clock
    // "<picture folder>/<name>"; the program folder's Data/ when empty.
    std::function<QString(const QString& name)> picturePath;
    // The program's store, so the send history shares its current-record
    // buffers; a store of its own for the folder when null.
    store::MailStore* mailStore = nullptr;
    // True while the program ends: the window then closes without questions.
    std::function<bool()> shuttingDown = [] { return false; };
};

}  // namespace qf::compose
