#include <glib.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/bundle.h"

namespace {

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};

std::string stringKey(GKeyFile* file, const char* key) {
    gchar* value = g_key_file_get_string(file, kBundleGroup, key, nullptr);
    if (value == nullptr) {
        return {};
    }
    std::string text(value);
    g_free(value);
    return text;
}

bool hasInfoFile(const std::string& directory) {
    struct stat info {};
    std::string file = directory + "/" + kBundleInfoFile;
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::optional<BundleInfo> readBundleInfo(const std::string& bundlePath) {
    if (bundlePath.empty()) {
        return std::nullopt;
    }
    std::unique_ptr<GKeyFile, KeyFileFree> file(g_key_file_new());
    std::string path = bundlePath + "/" + kBundleInfoFile;
    if (!g_key_file_load_from_file(file.get(), path.c_str(), G_KEY_FILE_NONE, nullptr)) {
        return std::nullopt;
    }
    BundleInfo info;
    info.identifier = stringKey(file.get(), "Identifier");
    info.shortVersion = stringKey(file.get(), "ShortVersion");
    info.executable = stringKey(file.get(), "Executable");
    info.filterTitle = stringKey(file.get(), "FilterTitle");
    return info;
}

std::string enclosingBundle(const std::string& path) {
    std::string candidate = path;
    while (candidate.size() > 1 && candidate.back() == '/') {
        candidate.pop_back();
    }
    while (!candidate.empty()) {
        if (hasInfoFile(candidate)) {
            return candidate;
        }
        size_t slash = candidate.rfind('/');
        if (slash == std::string::npos || slash == 0) {
            break;
        }
        candidate.resize(slash);
    }
    return {};
}

std::string resolvedPath(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return path;
    }
    std::string text(resolved);
    ::free(resolved);
    return text;
}

std::string mainBundlePath() {
    char buffer[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return {};
    }
    return enclosingBundle(std::string(buffer, static_cast<size_t>(length)));
}

std::string mainBundleIdentifier() {
    std::string bundle = mainBundlePath();
    if (bundle.empty()) {
        return {};
    }
    std::optional<BundleInfo> info = readBundleInfo(bundle);
    return info ? info->identifier : std::string();
}
