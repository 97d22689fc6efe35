#include "host/host_options.h"

#include <cstdio>
#include <cstring>

namespace {

std::optional<Selection> parseSelection(const char* text) {
    unsigned x = 0, y = 0, width = 0, height = 0;
    char tail = 0;
    if (std::sscanf(text, "%u,%u,%u,%u%c", &x, &y, &width, &height, &tail) != 4 || width == 0 ||
        height == 0) {
        return std::nullopt;
    }
    return Selection{x, y, width, height};
}

}  // namespace

std::optional<HostOptions> parseHostOptions(int argc, char** argv) {
    HostOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* flag = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        auto take = [&](std::string& into) {
            if (value == nullptr) {
                return false;
            }
            into = value;
            ++i;
            return true;
        };
        bool ok = true;
        if (std::strcmp(flag, "--headless") == 0) {
            options.headless = true;
        } else if (std::strcmp(flag, "--transparency") == 0) {
            options.transparency = true;
        } else if (std::strcmp(flag, "--timings") == 0) {
            options.timings = true;
        } else if (std::strcmp(flag, "--plugins") == 0) {
            ok = take(options.pluginFolder);
        } else if (std::strcmp(flag, "--filter") == 0) {
            ok = take(options.filterTitle);
        } else if (std::strcmp(flag, "--in") == 0) {
            ok = take(options.inputs.emplace_back());
        } else if (std::strcmp(flag, "--out") == 0) {
            ok = take(options.output);
        } else if (std::strcmp(flag, "--save-on-change") == 0) {
            ok = take(options.saveOnChange);
        } else if (std::strcmp(flag, "--selection") == 0) {
            options.selection = value ? parseSelection(value) : std::nullopt;
            ok = options.selection.has_value();
            ++i;
        } else {
            ok = false;
        }
        if (!ok) {
            return std::nullopt;
        }
    }
    if (options.headless &&
        (options.filterTitle.empty() || options.inputs.size() != 1 || options.output.empty())) {
        return std::nullopt;
    }
    return options;
}

std::string changedDocumentPath(const std::string& saveOnChange, size_t index) {
    if (index == 0) {
        return saveOnChange;
    }
    const std::string number = "-" + std::to_string(index + 1);
    const size_t slash = saveOnChange.rfind('/');
    const size_t dot = saveOnChange.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return saveOnChange + number;
    }
    return saveOnChange.substr(0, dot) + number + saveOnChange.substr(dot);
}
