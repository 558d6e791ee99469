// Where account secrets (passwords, refresh tokens) are kept outside the
// settings files: the desktop's Secret Service, reached through libsecret.
//
// Items use the schema kSecretSchemaName with two attributes, "server" (the
// POP3 server as typed in the settings) and "user" (the account's ID), so
// one account has one secret whatever its kind.
//
// Calls block on D-Bus (and, for a locked keyring, on the desktop's unlock
// prompt): make them off the window thread. Secrets never go into a Status.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "base/Status.h"

namespace qf::auth {

inline constexpr char kSecretSchemaName[] = "org.quillfern.Quillfern.Account";

struct SecretKey {
    std::string server;  // UTF-8
    std::string user;    // UTF-8
};

class SecretStore {
  public:
    virtual ~SecretStore() = default;
    // True when a Secret Service answers on the session bus.
    virtual bool available() = 0;
    // The secret, or nullopt when none is kept for the key. Fails when no
    // service answers.
    virtual Result<std::optional<std::string>> lookup(const SecretKey& key) = 0;
    // Replaces any secret kept for the key. `label` is what the desktop's
    // keyring manager shows.
    virtual Status store(const SecretKey& key, const std::string& secret,
                         const std::string& label) = 0;
    // Removes the key's secret; ok when there was none.
    virtual Status remove(const SecretKey& key) = 0;
};

// The desktop's keyring on the session bus of this process.
std::unique_ptr<SecretStore> desktopKeyring();

}  // namespace qf::auth
