#pragma once

#include <string>
#include <vector>

// Starts the bundle launcher and waits for it to report. spawnError is the error number of a
// failed start (0 when it started); waitStatus is the launcher's raw wait status (0 when the
// wait itself failed). Calling thread; blocks until the launcher exits.
struct LaunchOutcome {
    int spawnError = 0;
    int waitStatus = 0;
};

class PanelLauncher {
  public:
    virtual ~PanelLauncher() = default;
    virtual LaunchOutcome run(const std::vector<std::string>& arguments) = 0;
};

// posix_spawn of arguments[0] with no file actions, no attributes and this environment.
class PosixPanelLauncher final : public PanelLauncher {
  public:
    LaunchOutcome run(const std::vector<std::string>& arguments) override;
};
