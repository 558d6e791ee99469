#include "auth/TokenEndpoint.h"

#include <cctype>
#include <cstdlib>
#include <memory>

#include "auth/CurlOnDemand.h"
#include "text/HeaderEncoding.h"

namespace qf::auth {

namespace {

constexpr std::size_t kMaxAnswerBytes = 64 * 1024;
constexpr long kTimeoutSeconds = 30;

size_t collect(char* data, size_t size, size_t count, void* userData) {
    auto* answer = static_cast<std::string*>(userData);
    const std::size_t bytes = size * count;
    if (answer->size() + bytes > kMaxAnswerBytes) {
        return 0;  // ends the transfer: no provider sends this much
    }
    answer->append(data, bytes);
    return bytes;
}

// Keeps what a provider's error may show in a message: printable ASCII.
std::string printable(std::string text) {
    text.resize(std::min<std::size_t>(text.size(), 200));
    for (char& c : text) {
        if (c < 0x20 || c > 0x7e) {
            c = '?';
        }
    }
    return text;
}

// Skips one JSON value starting at `at` (any kind); returns the index after it.
std::size_t skipValue(const std::string& json, std::size_t at);

std::size_t skipString(const std::string& json, std::size_t at, std::string* out) {
    for (++at; at < json.size() && json[at] != '"'; ++at) {
        char c = json[at];
        if (c == '\\' && at + 1 < json.size()) {
            c = json[++at];
            if (c == 'u') {
                // Tokens and error codes are ASCII; anything else is kept as "?".
                at += 4;
                c = '?';
            } else if (c == 'n' || c == 't' || c == 'r' || c == 'b' || c == 'f') {
                c = ' ';
            }
        }
        if (out) {
            out->push_back(c);
        }
    }
    return at + 1;
}

std::size_t skipValue(const std::string& json, std::size_t at) {
    if (at >= json.size()) {
        return at;
    }
    if (json[at] == '"') {
        return skipString(json, at, nullptr);
    }
    if (json[at] == '{' || json[at] == '[') {
        int depth = 0;
        for (; at < json.size(); ++at) {
            if (json[at] == '"') {
                at = skipString(json, at, nullptr) - 1;
            } else if (json[at] == '{' || json[at] == '[') {
                ++depth;
            } else if ((json[at] == '}' || json[at] == ']') && --depth == 0) {
                return at + 1;
            }
        }
        return at;
    }
    while (at < json.size() && json[at] != ',' && json[at] != '}') {
        ++at;
    }
    return at;
}

std::size_t skipSpace(const std::string& json, std::size_t at) {
    while (at < json.size() && std::isspace(static_cast<unsigned char>(json[at]))) {
        ++at;
    }
    return at;
}

Result<Tokens> postForm(const OAuthProvider& provider, const std::string& form, std::int64_t now) {
    Result<const CurlFunctions*> functions = curlFunctions();
    if (!functions) {
        return functions.status();
    }
    const CurlFunctions& c = *functions.value();
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(c.easyInit(), c.easyCleanup);
    if (!curl) {
        return Status::ioError("libcurl could not start");
    }
    std::string body = form + "&client_id=" + formEscaped(provider.clientId);
    if (!provider.clientSecret.empty()) {
        body += "&client_secret=" + formEscaped(provider.clientSecret);
    }
    std::string answer;
    c.easySetopt(curl.get(), CURLOPT_URL, provider.tokenUrl.c_str());
    // Only the web: a settings file cannot point the request at file:// or a mail server.
    c.easySetopt(curl.get(), CURLOPT_PROTOCOLS_STR, "https,http");
    c.easySetopt(curl.get(), CURLOPT_POSTFIELDS, body.c_str());
    c.easySetopt(curl.get(), CURLOPT_WRITEFUNCTION, &collect);
    c.easySetopt(curl.get(), CURLOPT_WRITEDATA, &answer);
    c.easySetopt(curl.get(), CURLOPT_TIMEOUT, kTimeoutSeconds);
    c.easySetopt(curl.get(), CURLOPT_NOSIGNAL, 1L);
    if (const char* caFile = std::getenv("QUILLFERN_CA_FILE"); caFile && *caFile) {
        c.easySetopt(curl.get(), CURLOPT_CAINFO, caFile);
    }
    const CURLcode code = c.easyPerform(curl.get());
    if (code == CURLE_OPERATION_TIMEDOUT) {
        const std::string text = c.easyStrerror(code);
        return Status::timedOut("token endpoint: " + text).withOutsideText(text);
    }
    if (code != CURLE_OK) {
        const std::string text = c.easyStrerror(code);
        return Status::ioError("token endpoint: " + text).withOutsideText(text);
    }
    long httpStatus = 0;
    c.easyGetinfo(curl.get(), CURLINFO_RESPONSE_CODE, &httpStatus);
    if (const std::string error = jsonMember(answer, "error");
        !error.empty() || httpStatus >= 400) {
        const std::string refusal =
            printable(error.empty() ? "HTTP " + std::to_string(httpStatus) : error);
        return Status::refused("token endpoint: " + refusal).withOutsideText(refusal);
    }
    Tokens tokens{jsonMember(answer, "access_token"), jsonMember(answer, "refresh_token"), 0};
    if (tokens.accessToken.empty()) {
        return Status::corrupt("token endpoint: the answer holds no access token");
    }
    if (const long seconds = std::atol(jsonMember(answer, "expires_in").c_str()); seconds > 0) {
        tokens.expiresAt = now + seconds;
    }
    return tokens;
}

}  // namespace

// Every byte but the unreserved characters of RFC 3986 as %XX.
std::string formEscaped(const std::string& text) {
    return text::percentEncode(text, "-._~");
}

std::string jsonMember(const std::string& json, const std::string& name) {
    std::size_t at = skipSpace(json, 0);
    if (at >= json.size() || json[at] != '{') {
        return {};
    }
    at = skipSpace(json, at + 1);
    while (at < json.size() && json[at] == '"') {
        std::string key;
        at = skipSpace(json, skipString(json, at, &key));
        if (at >= json.size() || json[at] != ':') {
            return {};
        }
        at = skipSpace(json, at + 1);
        if (key == name) {
            if (at < json.size() && json[at] == '"') {
                std::string value;
                skipString(json, at, &value);
                return value;
            }
            const std::size_t end = skipValue(json, at);
            std::string raw = json.substr(at, end - at);
            while (!raw.empty() && std::isspace(static_cast<unsigned char>(raw.back()))) {
                raw.pop_back();
            }
            return raw;
        }
        at = skipSpace(json, skipValue(json, at));
        if (at < json.size() && json[at] == ',') {
            at = skipSpace(json, at + 1);
        }
    }
    return {};
}

Result<Tokens> exchangeCode(const OAuthProvider& provider, const std::string& code,
                            const std::string& verifier, const std::string& redirectUri,
                            std::int64_t now) {
    const std::string form = "grant_type=authorization_code&code=" + formEscaped(code) +
                             "&code_verifier=" + formEscaped(verifier) +
                             "&redirect_uri=" + formEscaped(redirectUri);
    return postForm(provider, form, now);
}

Result<Tokens> refreshTokens(const OAuthProvider& provider, const std::string& refreshToken,
                             std::int64_t now) {
    return postForm(provider, "grant_type=refresh_token&refresh_token=" + formEscaped(refreshToken),
                    now);
}

}  // namespace qf::auth
