#include "plugin/launcher_anchor.h"

#include <dlfcn.h>

#include "platform/bundle.h"

std::string LumivoLauncherAnchor::bundlePath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LumivoLauncherAnchor::bundlePath), &info) == 0 ||
        info.dli_fname == nullptr) {
        return {};
    }
    return enclosingBundle(resolvedPath(info.dli_fname));
}
