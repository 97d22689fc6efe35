#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/running_apps.h"

// The running applications as a table the test fills; lookups read it, termination removes.
struct RunningAppsTable final : RunningApps {
    std::map<pid_t, RunningApp> apps;

    void add(pid_t pid, std::string bundleIdentifier) {
        apps[pid] = RunningApp{pid, "/apps/" + bundleIdentifier, std::move(bundleIdentifier)};
    }

    std::vector<RunningApp> withBundleIdentifier(const std::string& identifier) override {
        std::vector<RunningApp> found;
        for (const auto& [pid, app] : apps) {
            if (app.bundleIdentifier == identifier) {
                found.push_back(app);
            }
        }
        return found;
    }
    std::optional<RunningApp> withPid(pid_t pid) override {
        auto it = apps.find(pid);
        return it == apps.end() ? std::nullopt : std::optional<RunningApp>(it->second);
    }
    void terminate(pid_t pid) override { apps.erase(pid); }
    void forceTerminate(pid_t pid) override { apps.erase(pid); }
    bool isTerminated(pid_t pid) override { return apps.count(pid) == 0; }
};
