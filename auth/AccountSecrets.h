// Where the account's password lives, and moving it there.
//
// A password is in exactly one place: the desktop's keyring (SecretStore),
// NAME2 of the account file (iniIdPass.ini, mode 0600, as older versions kept
// it), or nowhere (the user types it at each start). The user's choice is the
// SECRETS key of the auth file (AuthFile.h). iniIdPass.ini keeps NAME (the ID)
// and NAME3 (kept or not) in every case.
//
// Moves write the new place first and clear the old one after, so a failure
// halfway leaves the password where it was.
#pragma once

#include <filesystem>
#include <string>

#include "auth/SecretStore.h"
#include "base/FileSystem.h"
#include "base/Status.h"
#include "settings/AccountFiles.h"

namespace qf::auth {

enum class SecretPlace {
    kNotChosen,     // no choice made yet: a password in the file stays there
    kKeyring,       // the desktop's keyring
    kFile,          // iniIdPass.ini, 0600
    kAskEachStart,  // not kept: asked for once per program run
};

std::string secretPlaceName(SecretPlace place);
SecretPlace secretPlaceNamed(const std::string& name);

enum class SecretSource { kNone, kKeyring, kFile };

struct FoundAccount {
    settings::Account account;  // the password empty when none was found
    SecretSource source = SecretSource::kNone;
};

// The account's ID from the file and its password from wherever it is: the
// file when NAME2 holds one (an older file, or the user's choice), else the
// keyring when it answers. A keyring that does not answer gives no password.
FoundAccount findAccount(const std::filesystem::path& accountFile, SecretStore& keyring,
                         const std::string& server);

// What the ID/password window's OK (or a receive run) saves when the user
// chose to keep the account: the ID and NAME3 = "1" in the file, the password
// in `place` (kNotChosen counts as kFile, as before) and in no other place.
// Fails without touching the file when the keyring refuses the password.
Status keepAccount(const std::filesystem::path& accountFile, SecretStore& keyring,
                   const std::string& server, const settings::Account& account, SecretPlace place,
                   base::FileSystem& fs = base::posixFileSystem());

// Moves a password found in the file into the keyring, then clears NAME2.
// Ok and nothing done when the file holds no password. The keyring's copy is
// read back before the file's is cleared.
Status movePasswordToKeyring(const std::filesystem::path& accountFile, SecretStore& keyring,
                             const std::string& server,
                             base::FileSystem& fs = base::posixFileSystem());

}  // namespace qf::auth
