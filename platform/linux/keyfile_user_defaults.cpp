#include "platform/linux/keyfile_user_defaults.h"

#include <memory>
#include <mutex>

#include <glib.h>

namespace {

constexpr char kGroup[] = "Defaults";
constexpr char kDirectoryName[] = "com.lumivo.affinity-panel-host";
constexpr char kFileName[] = "defaults.ini";

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

// The stored file, or an empty one when it is missing or can't be parsed.
KeyFilePtr load(const std::string& path) {
    KeyFilePtr file(g_key_file_new());
    GError* error = nullptr;
    if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_KEEP_COMMENTS, &error)) {
        g_clear_error(&error);
        file.reset(g_key_file_new());
    }
    return file;
}

void save(const std::string& path, GKeyFile* file) {
    gchar* directory = g_path_get_dirname(path.c_str());
    g_mkdir_with_parents(directory, 0700);
    g_free(directory);
    gsize length = 0;
    gchar* data = g_key_file_to_data(file, &length, nullptr);
    GError* error = nullptr;
    g_file_set_contents(path.c_str(), data, static_cast<gssize>(length), &error);
    g_clear_error(&error);
    g_free(data);
}

// One lock for every store of the process: the panel's parts each keep their own store of the
// same file, and a change made through one must not be lost to a change made through another.
std::mutex& storeLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

KeyfileUserDefaults::KeyfileUserDefaults(std::string path) : path_(std::move(path)) {}

std::string KeyfileUserDefaults::defaultPath() {
    // g_get_user_config_dir honours $XDG_CONFIG_HOME and falls back to ~/.config.
    gchar* path = g_build_filename(g_get_user_config_dir(), kDirectoryName, kFileName, nullptr);
    std::string result = path;
    g_free(path);
    return result;
}

bool KeyfileUserDefaults::boolForKey(const std::string& key) {
    std::lock_guard lock(storeLock());
    KeyFilePtr file = load(path_);
    GError* error = nullptr;
    const gboolean value = g_key_file_get_boolean(file.get(), kGroup, key.c_str(), &error);
    if (error) {
        g_clear_error(&error);
        return false;
    }
    return value;
}

void KeyfileUserDefaults::setBool(const std::string& key, bool value) {
    std::lock_guard lock(storeLock());
    KeyFilePtr file = load(path_);
    g_key_file_set_boolean(file.get(), kGroup, key.c_str(), value);
    save(path_, file.get());
}

std::optional<std::string> KeyfileUserDefaults::stringForKey(const std::string& key) {
    std::lock_guard lock(storeLock());
    KeyFilePtr file = load(path_);
    gchar* value = g_key_file_get_string(file.get(), kGroup, key.c_str(), nullptr);
    if (!value) {
        return std::nullopt;
    }
    std::string result = value;
    g_free(value);
    return result;
}

void KeyfileUserDefaults::setString(const std::string& key, const std::string& value) {
    std::lock_guard lock(storeLock());
    KeyFilePtr file = load(path_);
    g_key_file_set_string(file.get(), kGroup, key.c_str(), value.c_str());
    save(path_, file.get());
}

void KeyfileUserDefaults::remove(const std::string& key) {
    std::lock_guard lock(storeLock());
    KeyFilePtr file = load(path_);
    GError* error = nullptr;
    if (g_key_file_remove_key(file.get(), kGroup, key.c_str(), &error)) {
        save(path_, file.get());
    }
    g_clear_error(&error);
}
