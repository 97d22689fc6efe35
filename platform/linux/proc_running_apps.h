#pragma once

#include "platform/running_apps.h"

// RunningApps over /proc: each process's executable (/proc/<pid>/exe) is mapped to its
// enclosing bundle and that bundle's identifier; an executable outside any bundle that is a
// known editor program (editor_programs.h) carries that editor's identifier. Processes of
// other users whose executable can't be read are invisible. A zombie counts as terminated.
// Any thread.
//
// The running applications found by identifier are those of this desktop session: processes
// started on the same session bus as this one. An application on another bus can't hear our
// announcements, so it is neither notified nor taken for a stale copy and shut down (and tests
// on private buses never touch each other's processes). withPid looks at any process.
class ProcRunningApps final : public RunningApps {
  public:
    std::vector<RunningApp> withBundleIdentifier(const std::string& identifier) override;
    std::optional<RunningApp> withPid(pid_t pid) override;
    void terminate(pid_t pid) override;
    void forceTerminate(pid_t pid) override;
    bool isTerminated(pid_t pid) override;
};
