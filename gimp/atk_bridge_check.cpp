#include "gimp/atk_bridge_check.h"

namespace {

// "atk-bridge", "libatk-bridge.so" or a path ending in either.
bool namesAtkBridge(std::string_view module) {
    if (const size_t slash = module.rfind('/'); slash != std::string_view::npos) {
        module.remove_prefix(slash + 1);
    }
    return module == "atk-bridge" || module == "libatk-bridge.so" || module == "libatk-bridge";
}

}  // namespace

bool gtkModulesLoadAtkBridge(const char* gtkModules) {
    if (gtkModules == nullptr) {
        return false;
    }
    std::string_view rest(gtkModules);
    while (!rest.empty()) {
        const size_t end = rest.find_first_of(":,");
        if (namesAtkBridge(rest.substr(0, end))) {
            return true;
        }
        if (end == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(end + 1);
    }
    return false;
}

bool mapsShowAtkBridge(std::string_view maps) {
    // GTK 2's module is gtk-2.0/modules/libatk-bridge.so; it brings libatk-bridge-2.0.so.0.
    return maps.find("/libatk-bridge.so") != std::string_view::npos ||
           maps.find("/libatk-bridge-2.0.so") != std::string_view::npos;
}
