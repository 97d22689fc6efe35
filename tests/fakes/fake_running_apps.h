#pragma once

#include <map>
#include <vector>

#include "platform/running_apps.h"

// Running applications as plain data. After the polite (or forced) request, a process listed in
// pollsToQuitAfterTerminate (or ...AfterForce) with n reads as gone from the n-th isTerminated
// poll on (0: at once); a process not listed ignores that request. One thread.
struct FakeRunningApps final : RunningApps {
    std::vector<RunningApp> apps;
    std::map<pid_t, int> pollsToQuitAfterTerminate;  // absent: ignores the polite request
    std::map<pid_t, int> pollsToQuitAfterForce;      // absent: ignores the forced one too
    std::vector<pid_t> terminated;                   // polite requests, in order
    std::vector<pid_t> forced;                       // forced requests, in order

    std::vector<RunningApp> withBundleIdentifier(const std::string& identifier) override {
        std::vector<RunningApp> found;
        for (const RunningApp& app : apps) {
            if (app.bundleIdentifier == identifier && !gone(app.pid)) {
                found.push_back(app);
            }
        }
        return found;
    }
    std::optional<RunningApp> withPid(pid_t pid) override {
        for (const RunningApp& app : apps) {
            if (app.pid == pid && !gone(pid)) {
                return app;
            }
        }
        return std::nullopt;
    }
    void terminate(pid_t pid) override {
        terminated.push_back(pid);
        arm(pid, pollsToQuitAfterTerminate);
    }
    void forceTerminate(pid_t pid) override {
        forced.push_back(pid);
        arm(pid, pollsToQuitAfterForce);
    }
    bool isTerminated(pid_t pid) override {
        auto left = pollsLeft.find(pid);
        if (left != pollsLeft.end() && left->second > 0) {
            --left->second;
        }
        return gone(pid);
    }

  private:
    void arm(pid_t pid, const std::map<pid_t, int>& table) {
        auto found = table.find(pid);
        if (found != table.end() && !pollsLeft.count(pid)) {
            pollsLeft[pid] = found->second;
        }
    }
    bool gone(pid_t pid) const {
        auto left = pollsLeft.find(pid);
        return left != pollsLeft.end() && left->second == 0;
    }
    std::map<pid_t, int> pollsLeft;
};
