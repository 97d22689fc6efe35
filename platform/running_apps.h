#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

// A process as the desktop knows it: its id and the application bundle its executable lies in.
struct RunningApp {
    pid_t pid = 0;
    std::string bundlePath;        // the enclosing bundle directory, links resolved; "" if none
    std::string bundleIdentifier;  // from the bundle's Info.ini; "" if none
};

// Running-application lookup and termination. Any thread; each call blocks only briefly
// (a scan of the process table). Failures read as "not found" / "terminated".
class RunningApps {
  public:
    virtual ~RunningApps() = default;
    virtual std::vector<RunningApp> withBundleIdentifier(const std::string& identifier) = 0;
    // None when no such process runs (a zombie counts as gone).
    virtual std::optional<RunningApp> withPid(pid_t pid) = 0;
    virtual void terminate(pid_t pid) = 0;       // the polite request (SIGTERM)
    virtual void forceTerminate(pid_t pid) = 0;  // SIGKILL
    virtual bool isTerminated(pid_t pid) = 0;
};
