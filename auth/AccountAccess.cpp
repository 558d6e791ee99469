#include "auth/AccountAccess.h"

namespace qf::auth {

SecretStore& sessionKeyring() {
    static const std::unique_ptr<SecretStore> keyring = desktopKeyring();
    return *keyring;
}

std::filesystem::path authFile(const settings::ProgramFolder& folder) {
    return folder.dataFile(kAuthFileName);
}

AccountAccess::AccountAccess(const settings::ProgramFolder& folder, std::string pop3Server,
                             SecretStore& keyring)
    : m_accountFile(folder.accountFile()),
      m_server(std::move(pop3Server)),
      m_keyring(keyring),
      m_settings(readAuthSettings(authFile(folder))),
      m_oauth(m_settings.provider, tokenKeeper()) {}

FoundAccount AccountAccess::account() const {
    return findAccount(m_accountFile, m_keyring, m_server);
}

Status AccountAccess::keep(const settings::Account& account) const {
    if (isOAuth()) {
        // The secret is the refresh token, never a typed password: it stays.
        return keepAccount(m_accountFile, m_keyring, m_server,
                           {account.id, this->account().account.password}, secretPlace());
    }
    return keepAccount(m_accountFile, m_keyring, m_server, account, secretPlace());
}

Status AccountAccess::forgetSecret() const {
    const std::string id = settings::readAccount(m_accountFile).id;
    return keepAccount(m_accountFile, m_keyring, m_server, {id, {}}, SecretPlace::kAskEachStart);
}

Result<std::string> AccountAccess::accessToken(bool refused) {
    if (refused) {
        m_oauth.tokenRefused();
    }
    return m_oauth.accessToken();
}

// The refresh token is kept like a password: in the keyring, the file or
// (asked at each start) this process's memory only.
TokenKeeper AccountAccess::tokenKeeper() {
    return {[this] {
                if (secretPlace() == SecretPlace::kAskEachStart) {
                    return m_tokenInMemory;
                }
                return account().account.password;
            },
            [this](const std::string& token) {
                m_tokenInMemory = token;
                const settings::Account id{settings::readAccount(m_accountFile).id, token};
                SecretPlace place = secretPlace();
                if (place == SecretPlace::kNotChosen) {
                    // A new kind of secret has no older file to respect: the
                    // keyring when there is one.
                    place = m_keyring.available() ? SecretPlace::kKeyring : SecretPlace::kFile;
                }
                return keepAccount(m_accountFile, m_keyring, m_server, id, place);
            }};
}

}  // namespace qf::auth
