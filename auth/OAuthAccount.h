// One OAuth account's tokens: the sign-in through the system browser
// (Authorization Code with PKCE and a loopback redirect, RFC 8252), and an
// access token that is refreshed before it expires and after a server
// refused it.
//
// The refresh token is the account's secret: `TokenKeeper` keeps it where the
// user chose (AccountSecrets.h). The access token lives in memory only.
// Every call that reaches the network blocks: run it off the window thread.
//
// The receive job and a send job may ask for a token at the same moment.
// One refresh runs at a time, with the keeper's calls inside it: a provider
// that rotates refresh tokens refuses a second refresh with the token the
// first one used up, which would send the user to sign in again. Whoever
// waited gets the token the first one fetched.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "auth/LoopbackRedirect.h"
#include "auth/OAuthProvider.h"
#include "auth/TokenEndpoint.h"
#include "base/Status.h"

namespace qf::auth {

struct TokenKeeper {
    std::function<std::string()> load;                     // empty: none kept
    std::function<Status(const std::string& token)> save;  // replaces the kept one
};

// An access token that expires within this many seconds is refreshed first.
inline constexpr std::int64_t kRefreshMarginSeconds = 120;

// The provider's page the browser opens: response_type=code, the client ID,
// the redirect URI, the scope, the state and the S256 code challenge; the
// user's address as login_hint when given.
std::string authorizeUrl(const OAuthProvider& provider, const std::string& redirectUri,
                         const std::string& state, const std::string& challenge,
                         const std::string& loginHint);

class OAuthAccount {
  public:
    OAuthAccount(OAuthProvider provider, TokenKeeper keeper,
                 std::function<std::int64_t()> clock = systemSeconds);

    // Opens the loopback listener, hands the provider's page to
    // `openBrowser`, waits for the redirect, exchanges the code and keeps
    // the refresh token. Fails as LoopbackRedirect::awaitCode and
    // exchangeCode do, or with `openBrowser`'s failure.
    Status signIn(const std::string& user,
                  const std::function<Status(const std::string& url)>& openBrowser,
                  const std::atomic<bool>& cancelled,
                  std::chrono::seconds limit = std::chrono::minutes(5),
                  const RedirectPages& pages = {});

    // An access token good for at least kRefreshMarginSeconds, refreshed
    // when needed. kNotFound: no refresh token is kept (never signed in);
    // kRefused: the provider refused the refresh token. Both mean the user
    // must sign in again in the program. Other failures (no network) do not.
    Result<std::string> accessToken();
    // A server refused the access token: the next accessToken() refreshes.
    void tokenRefused();

    static std::int64_t systemSeconds();

  private:
    // REQUIRES: m_mutex held.
    Status keep(Tokens tokens);

    OAuthProvider m_provider;
    TokenKeeper m_keeper;
    std::function<std::int64_t()> m_clock;
    std::mutex m_mutex;  // guards m_tokens and the keeper's calls
    Tokens m_tokens;
};

// True when the failure means "sign in again in the program".
bool needsSignIn(const Status& status);

}  // namespace qf::auth
