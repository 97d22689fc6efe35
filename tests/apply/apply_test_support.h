#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "panel/app/apply_auto_press.h"
#include "platform/running_apps.h"

// Running processes as a set of ids.
class FakeRunningApps final : public RunningApps {
  public:
    std::set<pid_t> running;
    std::set<pid_t> terminated;  // listed, but reported as terminated

    std::vector<RunningApp> withBundleIdentifier(const std::string&) override { return {}; }
    std::optional<RunningApp> withPid(pid_t pid) override {
        if (!running.count(pid)) {
            return std::nullopt;
        }
        return RunningApp{pid, "", ""};
    }
    void terminate(pid_t) override {}
    void forceTerminate(pid_t) override {}
    bool isTerminated(pid_t pid) override { return !running.count(pid) || terminated.count(pid); }
};

// A clock that only moves when the code under test sleeps.
struct FakeWaitClock {
    double now = 1000.0;
    int sleeps = 0;
    std::function<void()> onSleep;

    ApplyWaitClock clock() {
        return ApplyWaitClock{[this] { return now; },
                              [this](int64_t microseconds) {
                                  ++sleeps;
                                  now += static_cast<double>(microseconds) / 1e6;
                                  if (onSleep) {
                                      onSleep();
                                  }
                              }};
    }
};

// A private directory, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "lumivo-apply-XXXXXX").string();
        path_ = mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

    std::string write(const std::string& name, const std::string& contents) const {
        std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << contents;
        return file;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            result.push_back(entry.path().filename().string());
        }
        return result;
    }

  private:
    std::string path_;
};
