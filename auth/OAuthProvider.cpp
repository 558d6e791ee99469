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
            p.pop3Server = "pop3s://pop.gmail.com";
            p.smtpServer = "smtps://smtp.gmail.com";
            break;
        case ProviderPreset::kMicrosoft:
            p.authorizeUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
            p.tokenUrl = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
            p.scope =
                "offline_access https://outlook.office.com/POP.AccessAsUser.All "
                "https://outlook.office.com/SMTP.Send";
            p.clientId = QF_OAUTH_MICROSOFT_CLIENT_ID;
            p.pop3Server = "pop3s://outlook.office365.com";
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
                         base::FileSystem& fs) {
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

std::vector<ProviderItem> missingItemsForSignIn(const OAuthProvider& provider) {
    std::vector<ProviderItem> missing;
    const auto note = [&](bool absent, ProviderItem item) {
        if (absent) {
            missing.push_back(item);
        }
    };
    note(provider.clientId.empty(), ProviderItem::kClientId);
    note(provider.authorizeUrl.empty(), ProviderItem::kAuthorizeUrl);
    note(provider.tokenUrl.empty(), ProviderItem::kTokenUrl);
    return missing;
}

std::string missingForSignIn(const OAuthProvider& provider) {
    std::string missing;
    for (const ProviderItem item : missingItemsForSignIn(provider)) {
        static const char* const kNames[] = {"client ID", "authorization endpoint",
                                             "token endpoint", "scope"};
        missing += (missing.empty() ? "" : ", ") + std::string(kNames[static_cast<int>(item)]);
    }
    return missing;
}

FilledServers fillPresetServers(settings::ServerSettings& server, const OAuthProvider& provider) {
    const auto fill = [](std::string& value, const std::string& preset) {
        const bool blank = value.find_first_not_of(" \t") == std::string::npos;
        if (!blank || preset.empty()) {
            return false;
        }
        value = preset;
        return true;
    };
    FilledServers filled;
    filled.pop3 = fill(server.pop3, provider.pop3Server);
    filled.smtp = fill(server.smtp, provider.smtpServer);
    return filled;
}

}  // namespace qf::auth
