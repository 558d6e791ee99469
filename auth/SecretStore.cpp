#include "auth/SecretStore.h"

#include <libsecret/secret.h>

#include <mutex>

namespace qf::auth {

namespace {

const SecretSchema& accountSchema() {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = kSecretSchemaName;
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"server", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"user", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return schema;
}

// The GError's text, freed; it names D-Bus or the service, never a secret.
Status failure(GError* error, const char* doing) {
    std::string message = std::string("keyring: ") + doing;
    std::string text;
    if (error) {
        text = error->message;
        message += ": " + text;
        g_error_free(error);
    }
    return Status::ioError(message).withOutsideText(std::move(text));
}

// The receive job, a send job and the window thread may each reach the
// keyring. Its blocking calls go one at a time: a store and a lookup of the
// same item never interleave, and nothing depends on libsecret being safe
// across threads.
class DesktopKeyring final : public SecretStore {
  public:
    bool available() override {
        // A lookup of a key no one uses: answered (with nothing) only when a
        // service owns the bus name or can be started for it.
        return lookup({"", ""}).isOk();
    }

    Result<std::optional<std::string>> lookup(const SecretKey& key) override {
        const std::lock_guard lock(m_mutex);
        GError* error = nullptr;
        gchar* found =
            secret_password_lookup_sync(&accountSchema(), nullptr, &error, "server",
                                        key.server.c_str(), "user", key.user.c_str(), nullptr);
        if (error) {
            return failure(error, "lookup failed");
        }
        if (!found) {
            return std::optional<std::string>();
        }
        std::optional<std::string> secret(found);
        secret_password_free(found);
        return secret;
    }

    Status store(const SecretKey& key, const std::string& secret,
                 const std::string& label) override {
        const std::lock_guard lock(m_mutex);
        GError* error = nullptr;
        const gboolean stored = secret_password_store_sync(
            &accountSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(), secret.c_str(), nullptr,
            &error, "server", key.server.c_str(), "user", key.user.c_str(), nullptr);
        if (!stored || error) {
            return failure(error, "could not store the secret");
        }
        return Status::ok();
    }

    Status remove(const SecretKey& key) override {
        const std::lock_guard lock(m_mutex);
        GError* error = nullptr;
        secret_password_clear_sync(&accountSchema(), nullptr, &error, "server", key.server.c_str(),
                                   "user", key.user.c_str(), nullptr);
        return error ? failure(error, "could not remove the secret") : Status::ok();
    }

  private:
    std::mutex m_mutex;
};

}  // namespace

std::unique_ptr<SecretStore> desktopKeyring() {
    return std::make_unique<DesktopKeyring>();
}

}  // namespace qf::auth
