// OAuth 2.0 providers: the presets and the form's typed endpoints, and the
// auth settings file that names the account's kind and provider.
//
// Auth file "iniAuth.ini" in the data folder, section "AUTH":
//
// | key           | value                                                    |
// |---------------|----------------------------------------------------------|
// | KIND          | "password" (default) or "oauth"                          |
// | SECRETS       | where the secret is kept: "keyring", "file" or "ask"     |
// | PROVIDER      | "google", "microsoft" or "generic"                       |
// | AUTHORIZE_URL | generic: the authorization endpoint                      |
// | TOKEN_URL     | generic: the token endpoint                              |
// | SCOPE         | generic: the scopes, space separated                     |
// | CLIENT_ID     | overrides the client ID the program was built with       |
// | CLIENT_SECRET | overrides the client secret the program was built with   |
//
// The secret of an OAuth account is its refresh token; it is kept where a
// password account keeps its password (AccountSecrets.h).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "base/Status.h"
#include "settings/ServerSettings.h"

namespace qf::auth {

inline constexpr char kAuthFileName[] = "iniAuth.ini";
inline constexpr char kAuthSection[] = "AUTH";

enum class AccountKind { kPassword, kOAuth };
enum class ProviderPreset { kGoogle, kMicrosoft, kGeneric };

struct OAuthProvider {
    ProviderPreset preset = ProviderPreset::kGeneric;
    std::string authorizeUrl;
    std::string tokenUrl;
    std::string scope;
    std::string clientId;
    std::string clientSecret;  // empty when the provider needs none
    std::string pop3Server;    // the preset's servers; empty for the generic form
    std::string smtpServer;
};

// A preset with the client ID and secret the program was built with
// (empty when the build named none).
OAuthProvider presetProvider(ProviderPreset preset);

struct AuthSettings {
    AccountKind kind = AccountKind::kPassword;
    std::string secretPlace;  // "keyring", "file", "ask" or empty (not chosen)
    OAuthProvider provider;
};

// The auth file's settings over the chosen preset; the file's CLIENT_ID and
// CLIENT_SECRET, when set, replace the built-in ones. A missing file gives a
// password account.
AuthSettings readAuthSettings(const std::filesystem::path& file);
// Writes every key (the endpoints only for the generic form).
Status writeAuthSettings(const std::filesystem::path& file, const AuthSettings& settings,
                         base::FileSystem& fs = base::posixFileSystem());

// The items of a provider a user may be told about. A sign-in needs all but
// the scope (some providers grant mail access without one).
enum class ProviderItem { kClientId, kAuthorizeUrl, kTokenUrl, kScope };

// What the provider lacks before a sign-in can start, in the order above;
// empty when nothing is missing.
std::vector<ProviderItem> missingItemsForSignIn(const OAuthProvider& provider);
// The same for a diagnostic: "client ID", "authorization endpoint" … joined
// by ", "; empty when nothing is missing.
std::string missingForSignIn(const OAuthProvider& provider);

// Which servers fillPresetServers gave the account.
struct FilledServers {
    bool pop3 = false;
    bool smtp = false;
    bool any() const { return pop3 || smtp; }
};

// Gives `server` the provider's POP3 and SMTP servers where it has none (an
// empty or blank value); a server the user set is never replaced. The
// generic form names no servers and fills nothing.
FilledServers fillPresetServers(settings::ServerSettings& server, const OAuthProvider& provider);

}  // namespace qf::auth
