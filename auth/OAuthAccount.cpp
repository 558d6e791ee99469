#include "auth/OAuthAccount.h"

#include "auth/Pkce.h"

namespace qf::auth {

std::string authorizeUrl(const OAuthProvider& provider, const std::string& redirectUri,
                         const std::string& state, const std::string& challenge,
                         const std::string& loginHint) {
    const char joiner = provider.authorizeUrl.find('?') == std::string::npos ? '?' : '&';
    std::string url = provider.authorizeUrl + joiner +
                      "response_type=code&client_id=" + formEscaped(provider.clientId) +
                      "&redirect_uri=" + formEscaped(redirectUri) +
                      "&scope=" + formEscaped(provider.scope) + "&state=" + formEscaped(state) +
                      "&code_challenge=" + formEscaped(challenge) + "&code_challenge_method=S256";
    // Google hands out a refresh token only when asked for offline access.
    if (provider.preset == ProviderPreset::kGoogle) {
        url += "&access_type=offline&prompt=consent";
    }
    if (!loginHint.empty()) {
        url += "&login_hint=" + formEscaped(loginHint);
    }
    return url;
}

std::int64_t OAuthAccount::systemSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

OAuthAccount::OAuthAccount(OAuthProvider provider, TokenKeeper keeper,
                           std::function<std::int64_t()> clock)
    : m_provider(std::move(provider)), m_keeper(std::move(keeper)), m_clock(std::move(clock)) {}

Status OAuthAccount::signIn(const std::string& user,
                            const std::function<Status(const std::string& url)>& openBrowser,
                            const std::atomic<bool>& cancelled, std::chrono::seconds limit,
                            const RedirectPages& pages) {
    if (const std::string missing = missingForSignIn(m_provider); !missing.empty()) {
        return Status::invalidArgument("missing: " + missing);
    }
    Result<std::unique_ptr<LoopbackRedirect>> listener = LoopbackRedirect::open();
    if (!listener) {
        return listener.status();
    }
    const std::string verifier = randomUrlSafe();
    const std::string state = randomUrlSafe(16);
    const std::string redirectUri = listener.value()->redirectUri();
    if (Status opened = openBrowser(
            authorizeUrl(m_provider, redirectUri, state, codeChallenge(verifier), user));
        !opened) {
        return opened;
    }
    Result<std::string> code = listener.value()->awaitCode(state, limit, cancelled, pages);
    if (!code) {
        return code.status();
    }
    Result<Tokens> tokens =
        exchangeCode(m_provider, code.value(), verifier, redirectUri, m_clock());
    if (!tokens) {
        return tokens.status();
    }
    if (tokens.value().refreshToken.empty()) {
        return Status::corrupt("token endpoint: no refresh token was handed out");
    }
    const std::lock_guard lock(m_mutex);
    return keep(std::move(tokens).value());
}

Result<std::string> OAuthAccount::accessToken() {
    const std::lock_guard lock(m_mutex);
    if (!m_tokens.accessToken.empty() &&
        (m_tokens.expiresAt == 0 || m_tokens.expiresAt - m_clock() > kRefreshMarginSeconds)) {
        return m_tokens.accessToken;
    }
    const std::string refreshToken = m_keeper.load ? m_keeper.load() : std::string();
    if (refreshToken.empty()) {
        return Status::notFound("no refresh token is kept: sign in first");
    }
    Result<Tokens> fresh = refreshTokens(m_provider, refreshToken, m_clock());
    if (!fresh) {
        return fresh.status();
    }
    if (Status kept = keep(std::move(fresh).value()); !kept) {
        return kept;
    }
    return m_tokens.accessToken;
}

void OAuthAccount::tokenRefused() {
    const std::lock_guard lock(m_mutex);
    m_tokens.accessToken.clear();
}

Status OAuthAccount::keep(Tokens tokens) {
    // A provider that rotates refresh tokens hands out a new one each time;
    // the old one may stop working at once, so the new one is kept first.
    if (!tokens.refreshToken.empty() && m_keeper.save) {
        if (Status saved = m_keeper.save(tokens.refreshToken); !saved) {
            return saved;
        }
    }
    m_tokens = std::move(tokens);
    return Status::ok();
}

bool needsSignIn(const Status& status) {
    return status.code() == StatusCode::kNotFound || status.code() == StatusCode::kRefused;
}

}  // namespace qf::auth
