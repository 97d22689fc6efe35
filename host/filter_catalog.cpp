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

}  // namespace

std::vector<InstalledFilter> loadFilters(const std::string& folder) {
    std::vector<InstalledFilter> filters;
    for (const std::string& name : entriesEndingWith(folder, ".8bf")) {
        const std::string bundle = folder + "/" + name;
        std::optional<BundleInfo> info = readBundleInfo(bundle);
        if (!info) {
            continue;
        }
        const std::string code = bundle + "/Contents/Linux";
        for (const std::string& library : entriesEndingWith(code, ".so")) {
            void* handle = ::dlopen((code + "/" + library).c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle == nullptr) {
                fprintf(stderr, "lumivo-host: %s\n", ::dlerror());
                continue;
            }
            auto entry = reinterpret_cast<PluginMainProc>(::dlsym(handle, "PluginMain"));
            if (entry == nullptr) {
                ::dlclose(handle);
                continue;
            }
            InstalledFilter filter;
            filter.title =
                info->filterTitle.empty() ? name.substr(0, name.size() - 4) : info->filterTitle;
            filter.bundlePath = bundle;
            filter.entry = entry;
            filters.push_back(std::move(filter));
        }
    }
    std::stable_sort(filters.begin(), filters.end(),
                     [](const auto& a, const auto& b) { return a.title < b.title; });
    return filters;
}
