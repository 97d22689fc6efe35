#pragma once

#include <string>

// Exists only so the plug-in can find the file it was loaded from: the bundle that holds this
// class's code is the plug-in's own bundle.
class LumivoLauncherAnchor {
  public:
    // The plug-in bundle enclosing the shared object that holds this code, links resolved;
    // "" when it can't be found. Any thread.
    static std::string bundlePath();
};
