#include "platform/linux/libsecret_keychain.h"

#include <libsecret/secret.h>

namespace {

// A generic password: only the two attributes address the item, whatever schema name another
// program stored it under.
const SecretSchema* genericSchema() {
    static const SecretSchema schema = {"org.freedesktop.Secret.Generic",
                                        SECRET_SCHEMA_DONT_MATCH_NAME,
                                        {
                                            {"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        },
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

}  // namespace

LibsecretKeychain::LibsecretKeychain(std::string service, std::string account)
    : service_(std::move(service)), account_(std::move(account)) {}

bool LibsecretKeychain::keychainWrite(const std::string& data) {
    SecretValue* value =
        secret_value_new(data.data(), static_cast<gssize>(data.size()), "application/octet-stream");
    GError* error = nullptr;
    const gboolean stored = secret_password_store_binary_sync(
        genericSchema(), SECRET_COLLECTION_DEFAULT, service_.c_str(), value, nullptr, &error,
        "service", service_.c_str(), "account", account_.c_str(), nullptr);
    secret_value_unref(value);
    g_clear_error(&error);
    return stored != FALSE;
}

std::optional<std::string> LibsecretKeychain::keychainRead() {
    GError* error = nullptr;
    SecretValue* value =
        secret_password_lookup_binary_sync(genericSchema(), nullptr, &error, "service",
                                           service_.c_str(), "account", account_.c_str(), nullptr);
    g_clear_error(&error);
    if (value == nullptr) {
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    std::optional<std::string> data;
    if (bytes != nullptr) {
        data.emplace(bytes, length);
    }
    secret_value_unref(value);
    return data;
}

void LibsecretKeychain::keychainDelete() {
    GError* error = nullptr;
    secret_password_clear_sync(genericSchema(), nullptr, &error, "service", service_.c_str(),
                               "account", account_.c_str(), nullptr);
    g_clear_error(&error);
}
