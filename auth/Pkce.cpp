#include "auth/Pkce.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

#include <cstdlib>
#include <vector>

namespace qf::auth {

std::string base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                        reinterpret_cast<const unsigned char*>(bytes.data()),
                                        static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::string base64Url(std::string_view bytes) {
    std::string out = base64(bytes);
    while (!out.empty() && out.back() == '=') {
        out.pop_back();
    }
    for (char& c : out) {
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    }
    return out;
}

std::string randomUrlSafe(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    // Without a working generator no sign-in may start: its state and
    // verifier would be guessable.
    if (RAND_bytes(random.data(), static_cast<int>(random.size())) != 1) {
        std::abort();
    }
    return base64Url(std::string_view(reinterpret_cast<const char*>(random.data()), bytes));
}

std::string codeChallenge(std::string_view verifier) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(verifier.data()), verifier.size(), digest);
    return base64Url(std::string_view(reinterpret_cast<const char*>(digest), sizeof digest));
}

}  // namespace qf::auth
