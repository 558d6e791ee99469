#include "auth/AccountSecrets.h"

#include <array>
#include <utility>

#include "settings/ProfileFile.h"

namespace qf::auth {

namespace {

constexpr std::array<std::pair<SecretPlace, const char*>, 3> kPlaceNames{{
    {SecretPlace::kKeyring, "keyring"},
    {SecretPlace::kFile, "file"},
    {SecretPlace::kAskEachStart, "ask"},
}};

std::string keyringLabel(const SecretKey& key) {
    return "Quillfern: " + key.user + " @ " + key.server;
}

// NAME, NAME2, NAME3 as keepAccount leaves them.
Status writeAccountFile(const std::filesystem::path& file, const settings::Account& account,
                        bool withPassword, base::FileSystem& fs) {
    const std::vector<settings::ProfileEntry> entries{
        {settings::exeIniKey(1), account.id},
        {settings::exeIniKey(2), withPassword ? account.password : std::string()},
        {settings::exeIniKey(3), "1"}};
    return settings::writeProfileStrings(file, settings::kExeIniSection, entries,
                                         settings::FileAccess::kOwnerOnly, fs);
}

Status clearPasswordInFile(const std::filesystem::path& file, base::FileSystem& fs) {
    return settings::writeProfileStrings(file, settings::kExeIniSection,
                                         {{settings::exeIniKey(2), ""}},
                                         settings::FileAccess::kOwnerOnly, fs);
}

}  // namespace

std::string secretPlaceName(SecretPlace place) {
    for (const auto& [known, name] : kPlaceNames) {
        if (known == place) {
            return name;
        }
    }
    return {};
}

SecretPlace secretPlaceNamed(const std::string& name) {
    for (const auto& [place, known] : kPlaceNames) {
        if (name == known) {
            return place;
        }
    }
    return SecretPlace::kNotChosen;
}

FoundAccount findAccount(const std::filesystem::path& accountFile, SecretStore& keyring,
                         const std::string& server) {
    FoundAccount found{settings::readAccount(accountFile), SecretSource::kNone};
    if (!found.account.password.empty()) {
        found.source = SecretSource::kFile;
        return found;
    }
    if (found.account.id.empty()) {
        return found;
    }
    Result<std::optional<std::string>> kept = keyring.lookup({server, found.account.id});
    if (kept && kept.value()) {
        found.account.password = std::move(*kept.value());
        found.source = SecretSource::kKeyring;
    }
    return found;
}

Status keepAccount(const std::filesystem::path& accountFile, SecretStore& keyring,
                   const std::string& server, const settings::Account& account, SecretPlace place,
                   base::FileSystem& fs) {
    const SecretKey key{server, account.id};
    if (place == SecretPlace::kKeyring) {
        if (Status stored = keyring.store(key, account.password, keyringLabel(key)); !stored) {
            return stored;
        }
        return writeAccountFile(accountFile, account, false, fs);
    }
    const bool inFile = place == SecretPlace::kFile || place == SecretPlace::kNotChosen;
    if (Status written = writeAccountFile(accountFile, account, inFile, fs); !written) {
        return written;
    }
    // Without a service there is nothing to remove: the lookup tells.
    if (keyring.lookup(key).isOk()) {
        return keyring.remove(key);
    }
    return Status::ok();
}

Status movePasswordToKeyring(const std::filesystem::path& accountFile, SecretStore& keyring,
                             const std::string& server, base::FileSystem& fs) {
    const settings::Account account = settings::readAccount(accountFile);
    if (account.password.empty()) {
        return Status::ok();
    }
    const SecretKey key{server, account.id};
    if (Status stored = keyring.store(key, account.password, keyringLabel(key)); !stored) {
        return stored;
    }
    Result<std::optional<std::string>> check = keyring.lookup(key);
    if (!check) {
        return check.status();
    }
    if (!check.value() || *check.value() != account.password) {
        return Status::ioError("keyring: the stored password did not read back; the file keeps it");
    }
    return clearPasswordInFile(accountFile, fs);
}

}  // namespace qf::auth
