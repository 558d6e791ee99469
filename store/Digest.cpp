#include "store/Digest.h"

#include <openssl/evp.h>

#include <memory>

namespace qf::store {

namespace {

using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

Context newContext() {
    Context context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    return context;
}

Sha256 finish(EVP_MD_CTX* context) {
    Sha256 digest{};
    unsigned int digestBytes = 0;
    EVP_DigestFinal_ex(context, digest.data(), &digestBytes);
    return digest;
}

}  // namespace

Sha256 sha256(std::span<const char> bytes) {
    Context context = newContext();
    EVP_DigestUpdate(context.get(), bytes.data(), bytes.size());
    return finish(context.get());
}

std::string sha256OfTextsHex(std::span<const std::string_view> texts) {
    Context context = newContext();
    for (std::string_view text : texts) {
        const std::string length = std::to_string(text.size()) + ":";
        EVP_DigestUpdate(context.get(), length.data(), length.size());
        EVP_DigestUpdate(context.get(), text.data(), text.size());
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : finish(context.get())) {
        hex += kHex[byte >> 4];
        hex += kHex[byte & 0x0f];
    }
    return hex;
}

}  // namespace qf::store
