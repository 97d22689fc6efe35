#include "host/filter_catalog.h"

#include <dirent.h>
#include <dlfcn.h>
#include <stdio.h>

#include <algorithm>
#include <memory>

#include "platform/bundle.h"

namespace {

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() > suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::vector<std::string> entriesEndingWith(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirClose> dir(::opendir(folder.c_str()));
    if (!dir) {
        return names;
    }
    while (dirent* entry = ::readdir(dir.get())) {
        if (endsWith(entry->d_name, suffix)) {
            names.push_back(entry->d_name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The bundle's folder name without its ".8bf".
std::string bundleName(const std::string& bundlePath) {
    const size_t slash = bundlePath.rfind('/');
    std::string name = slash == std::string::npos ? bundlePath : bundlePath.substr(slash + 1);
    if (endsWith(name, ".8bf")) {
        name.resize(name.size() - 4);
    }
    return name;
}

}  // namespace

std::vector<InstalledFilter> loadFilterBundle(const std::string& bundlePath) {
    std::vector<InstalledFilter> filters;
    std::optional<BundleInfo> info = readBundleInfo(bundlePath);
    if (!info) {
        return filters;
    }
    const std::string code = bundlePath + "/Contents/Linux";
    for (const std::string& library : entriesEndingWith(code, ".so")) {
        void* handle = ::dlopen((code + "/" + library).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            fprintf(stderr, "filter bundle: %s\n", ::dlerror());
            continue;
        }
        auto entry = reinterpret_cast<PluginMainProc>(::dlsym(handle, "PluginMain"));
        if (entry == nullptr) {
            ::dlclose(handle);
            continue;
        }
        InstalledFilter filter;
        filter.title = info->filterTitle.empty() ? bundleName(bundlePath) : info->filterTitle;
        filter.bundlePath = bundlePath;
        filter.entry = entry;
        filters.push_back(std::move(filter));
    }
    return filters;
}

std::vector<InstalledFilter> loadFilters(const std::string& folder) {
    std::vector<InstalledFilter> filters;
    for (const std::string& name : entriesEndingWith(folder, ".8bf")) {
        for (InstalledFilter& filter : loadFilterBundle(folder + "/" + name)) {
            filters.push_back(std::move(filter));
        }
    }
    std::stable_sort(filters.begin(), filters.end(),
                     [](const auto& a, const auto& b) { return a.title < b.title; });
    return filters;
}
