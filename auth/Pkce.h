// PKCE (RFC 7636, method S256) and the other random strings of a sign-in.
#pragma once

#include <string>
#include <string_view>

namespace qf::auth {

// `bytes` random bytes from the system's generator, base64url without
// padding (32 bytes give a 43-character verifier).
std::string randomUrlSafe(std::size_t bytes = 32);
// BASE64URL(SHA256(verifier)), without padding.
std::string codeChallenge(std::string_view verifier);
// base64url without padding, and standard base64 with it (SASL).
std::string base64Url(std::string_view bytes);
std::string base64(std::string_view bytes);

}  // namespace qf::auth
