// Requests to a provider's token endpoint (RFC 6749, sections 4.1.3 and 6),
// over libcurl with the system's certificate store.
#pragma once

#include <cstdint>
#include <string>

#include "auth/OAuthProvider.h"
#include "base/Status.h"

namespace qf::auth {

struct Tokens {
    std::string accessToken;
    std::string refreshToken;    // empty when the provider kept the old one
    std::int64_t expiresAt = 0;  // seconds since 1970; 0 when not said
};

// The authorization code for tokens, with the PKCE verifier.
// Fails kRefused with the provider's error code ("invalid_grant" …) when the
// provider answers with an error, kIoError/kTimedOut when it cannot be
// reached, kCorrupt when the answer holds no access token.
Result<Tokens> exchangeCode(const OAuthProvider& provider, const std::string& code,
                            const std::string& verifier, const std::string& redirectUri,
                            std::int64_t now);
// A fresh access token for the refresh token; fails as exchangeCode does.
// kRefused means the refresh token is no good any more: sign in again.
Result<Tokens> refreshTokens(const OAuthProvider& provider, const std::string& refreshToken,
                             std::int64_t now);

// `text` percent-encoded for a form or a query.
std::string formEscaped(const std::string& text);

// The string or number value of a top-level member of a JSON object;
// nullopt-like empty string when absent. Nested values are skipped.
std::string jsonMember(const std::string& json, const std::string& name);

}  // namespace qf::auth
