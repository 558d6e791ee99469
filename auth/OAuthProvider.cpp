#include "auth/OAuthProvider.h"

#include <array>
#include <utility>
#include <vector>

#include "settings/AccountFiles.h"
#include "settings/ProfileFile.h"

// Each distributor registers the program with the providers and builds it
// with their own client IDs (CMake options QF_OAUTH_*; see the README).
#ifndef QF_OAUTH_GOOGLE_CLIENT_ID
#define QF_OAUTH_GOOGLE_CLIENT_ID ""
#endif
#ifndef QF_OAUTH_GOOGLE_CLIENT_SECRET
#define QF_OAUTH_GOOGLE_CLIENT_SECRET ""
#endif
#ifndef QF_OAUTH_MICROSOFT_CLIENT_ID
#define QF_OAUTH_MICROSOFT_CLIENT_ID ""
#endif

namespace qf::auth {

namespace {

constexpr std::array<std::pair<ProviderPreset, const char*>, 3> kPresetNames{{
    {ProviderPreset::kGoogle, "google"},
    {ProviderPreset::kMicrosoft, "microsoft"},
    {ProviderPreset::kGeneric, "generic"},
}};

std::string value(const std::filesystem::path& file, const char* key) {
    return settings::getProfileString(file, kAuthSection, key, "",
                                      4 * settings::kProfileBufferChars);
}

}  // namespace

OAuthProvider presetProvider(ProviderPreset preset) {
    OAuthProvider p;
    p.preset = preset;
    switch (preset) {
        case ProviderPreset::kGoogle:
            p.authorizeUrl = "https://accounts.google.com/o/oauth2/v2/auth";
            p.tokenUrl = "https://oauth2.googleapis.com/token";
            p.scope = "https://mail.google.com/";
            p.clientId = QF_OAUTH_GOOGLE_CLIENT_ID;
            p.clientSecret = QF_OAUTH_GOOGLE_CLIENT_SECRET;
            p.pop3Server = "pop.gmail.com:995";
            p.smtpServer = "smtp.gmail.com:465";
            break;
        case ProviderPreset::kMicrosoft:
            p.authorizeUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
            p.tokenUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
            p.scope =
                "offline_access https://outlook.office.com/POP.AccessAsUser.All "
                "https://outlook.office.com/SMTP.Send";
            p.clientId = QF_OAUTH_MICROSOFT_CLIENT_ID;
            p.pop3Server = "outlook.office365.com:995";
            p.smtpServer = "smtp.office365.com:587";
            break;
        case ProviderPreset::kGeneric:
            break;
    }
    return p;
}

AuthSettings readAuthSettings(const std::filesystem::path& file) {
    AuthSettings s;
    s.kind = value(file, "KIND") == "oauth" ? AccountKind::kOAuth : AccountKind::kPassword;
    s.secretPlace = value(file, "SECRETS");
    ProviderPreset preset = ProviderPreset::kGeneric;
    for (const auto& [known, name] : kPresetNames) {
        if (value(file, "PROVIDER") == name) {
            preset = known;
        }
    }
    s.provider = presetProvider(preset);
    if (preset == ProviderPreset::kGeneric) {
        s.provider.authorizeUrl = value(file, "AUTHORIZE_URL");
        s.provider.tokenUrl = value(file, "TOKEN_URL");
        s.provider.scope = value(file, "SCOPE");
    }
    if (std::string id = value(file, "CLIENT_ID"); !id.empty()) {
        s.provider.clientId = std::move(id);
        // A distributor's own ID comes with its own secret, or none.
        s.provider.clientSecret = value(file, "CLIENT_SECRET");
    }
    return s;
}

Status writeAuthSettings(const std::filesystem::path& file, const AuthSettings& s,
                         store::FileSystem& fs) {
    std::string presetName;
    for (const auto& [known, name] : kPresetNames) {
        if (known == s.provider.preset) {
            presetName = name;
        }
    }
    std::vector<settings::ProfileEntry> entries{
        {"KIND", s.kind == AccountKind::kOAuth ? "oauth" : "password"},
        {"SECRETS", s.secretPlace},
        {"PROVIDER", presetName}};
    if (s.provider.preset == ProviderPreset::kGeneric) {
        entries.insert(entries.end(), {{"AUTHORIZE_URL", s.provider.authorizeUrl},
                                       {"TOKEN_URL", s.provider.tokenUrl},
                                       {"SCOPE", s.provider.scope}});
    }
    return settings::writeProfileStrings(file, kAuthSection, entries,
                                         settings::FileAccess::kOwnerOnly, fs);
}

std::string missingForSignIn(const OAuthProvider& provider) {
    std::string missing;
    const auto note = [&](bool absent, const char* what) {
        if (absent) {
            missing += (missing.empty() ? "" : ", ") + std::string(what);
        }
    };
    note(provider.clientId.empty(), "client ID");
    note(provider.authorizeUrl.empty(), "authorization endpoint");
    note(provider.tokenUrl.empty(), "token endpoint");
    return missing;
}

}  // namespace qf::auth
