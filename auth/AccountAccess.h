// The one account as the receive run, the send and the store tool log in
// with it: its kind (password or OAuth, iniAuth.ini), its ID (iniIdPass.ini)
// and its secret wherever the user keeps it (AccountSecrets.h).
//
// For an OAuth account the secret is the refresh token; accessToken() gives
// a live access token, refreshing it when it is about to expire or a server
// refused it. Calls may block on D-Bus and the network.
#pragma once

#include <memory>
#include <string>

#include "auth/AccountSecrets.h"
#include "auth/OAuthAccount.h"
#include "auth/OAuthProvider.h"
#include "auth/SecretStore.h"
#include "settings/ProgramFolder.h"

namespace qf::auth {

// The desktop's keyring of this process, made on first use.
SecretStore& sessionKeyring();

std::filesystem::path authFile(const settings::ProgramFolder& folder);

class AccountAccess {
  public:
    // `pop3Server` as in the server settings: with the ID it names the
    // account's secret.
    AccountAccess(const settings::ProgramFolder& folder, std::string pop3Server,
                  SecretStore& keyring = sessionKeyring());
    AccountAccess(const AccountAccess&) = delete;
    AccountAccess& operator=(const AccountAccess&) = delete;

    const AuthSettings& settings() const { return m_settings; }
    const std::string& server() const { return m_server; }
    bool isOAuth() const { return m_settings.kind == AccountKind::kOAuth; }
    SecretPlace secretPlace() const { return secretPlaceNamed(m_settings.secretPlace); }

    // The ID and the password (empty when none is kept: ask the user).
    FoundAccount account() const;
    // Keeps the ID and the password where the user chose (see keepAccount).
    // An OAuth account keeps the ID and its refresh token as they are.
    Status keep(const settings::Account& account) const;
    // Removes the account's secret from the keyring and the file (the kind
    // of account changed: a refresh token must never go out as a password).
    Status forgetSecret() const;

    // OAuth: a live access token for the account's ID; fails as
    // OAuthAccount::accessToken does (needsSignIn() tells when the user
    // must sign in in the program). `refused`: the server refused the last
    // token, so a fresh one is fetched.
    Result<std::string> accessToken(bool refused = false);
    OAuthAccount& oauth() { return m_oauth; }

  private:
    TokenKeeper tokenKeeper();

    std::filesystem::path m_accountFile;
    std::string m_server;
    SecretStore& m_keyring;
    AuthSettings m_settings;
    // Where the refresh token lives when the user keeps no secret.
    std::string m_tokenInMemory;
    OAuthAccount m_oauth;
};

}  // namespace qf::auth
