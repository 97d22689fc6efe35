#include "platform/linux/proc_running_apps.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <memory>

#include "platform/bundle.h"
#include "platform/linux/editor_programs.h"
#include "platform/linux/proc_executable.h"

namespace {

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The state letter of /proc/<pid>/stat, or 0 when the process is gone.
char processState(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    FILE* file = ::fopen(path, "re");
    if (file == nullptr) {
        return 0;
    }
    char buffer[512];
    size_t length = ::fread(buffer, 1, sizeof buffer - 1, file);
    ::fclose(file);
    buffer[length] = 0;
    // The command name may hold spaces and parentheses; the state follows the last ')'.
    const char* close = ::strrchr(buffer, ')');
    if (close == nullptr || close[1] != ' ' || close[2] == 0) {
        return 0;
    }
    return close[2];
}

// The session bus address a process was started with, as it appears in its environment;
// none when the environment can't be read. Absent from the environment reads as "".
std::optional<std::string> sessionBusOf(pid_t pid) {
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/environ", static_cast<int>(pid));
    FILE* file = ::fopen(path, "re");
    if (file == nullptr) {
        return std::nullopt;
    }
    static constexpr char kKey[] = "DBUS_SESSION_BUS_ADDRESS=";
    static constexpr size_t kMaxEnvironment = 4 << 20;
    std::string environment;
    char buffer[8192];
    size_t n = 0;
    while (environment.size() < kMaxEnvironment &&
           (n = ::fread(buffer, 1, sizeof buffer, file)) > 0) {
        environment.append(buffer, n);
    }
    const bool failed = ::ferror(file) != 0;
    ::fclose(file);
    if (failed) {
        return std::nullopt;
    }
    for (size_t start = 0; start < environment.size();) {
        size_t end = environment.find('\0', start);
        if (end == std::string::npos) {
            end = environment.size();
        }
        if (environment.compare(start, sizeof kKey - 1, kKey) == 0) {
            return environment.substr(start + sizeof kKey - 1, end - start - (sizeof kKey - 1));
        }
        start = end + 1;
    }
    return std::string();
}

std::string ownSessionBus() {
    const char* address = ::getenv("DBUS_SESSION_BUS_ADDRESS");
    return address != nullptr ? address : "";
}

bool isGone(char state) {
    return state == 0 || state == 'Z' || state == 'X' || state == 'x';
}

class BundleCache {
  public:
    RunningApp describe(pid_t pid, const std::string& executable) {
        RunningApp app;
        app.pid = pid;
        app.bundlePath = enclosingBundle(executable);
        if (app.bundlePath.empty()) {
            // An editor that is a plain program is known by the identifier fixed for it.
            app.bundleIdentifier = editorProgramIdentifier(executable);
        } else {
            auto found = identifiers_.find(app.bundlePath);
            if (found == identifiers_.end()) {
                std::optional<BundleInfo> info = readBundleInfo(app.bundlePath);
                found = identifiers_.emplace(app.bundlePath, info ? info->identifier : "").first;
            }
            app.bundleIdentifier = found->second;
        }
        return app;
    }

  private:
    std::map<std::string, std::string> identifiers_;
};

}  // namespace

std::vector<RunningApp> ProcRunningApps::withBundleIdentifier(const std::string& identifier) {
    std::vector<RunningApp> apps;
    std::unique_ptr<DIR, DirClose> proc(::opendir("/proc"));
    if (!proc) {
        return apps;
    }
    BundleCache cache;
    const std::string ownBus = ownSessionBus();
    while (dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        long pid = ::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != 0 || pid <= 0 || pid > INT_MAX) {
            continue;
        }
        std::string executable = processExecutable(static_cast<pid_t>(pid));
        if (executable.empty()) {
            continue;
        }
        RunningApp app = cache.describe(static_cast<pid_t>(pid), executable);
        if (app.bundleIdentifier == identifier && !isGone(processState(app.pid)) &&
            sessionBusOf(app.pid) == ownBus) {
            apps.push_back(std::move(app));
        }
    }
    return apps;
}

std::optional<RunningApp> ProcRunningApps::withPid(pid_t pid) {
    if (pid <= 0 || isGone(processState(pid))) {
        return std::nullopt;
    }
    std::string executable = processExecutable(pid);
    if (executable.empty()) {
        RunningApp app;
        app.pid = pid;
        return app;
    }
    BundleCache cache;
    return cache.describe(pid, executable);
}

void ProcRunningApps::terminate(pid_t pid) {
    if (pid > 0) {
        ::kill(pid, SIGTERM);
    }
}

void ProcRunningApps::forceTerminate(pid_t pid) {
    if (pid > 0) {
        ::kill(pid, SIGKILL);
    }
}

bool ProcRunningApps::isTerminated(pid_t pid) {
    if (pid <= 0) {
        return true;
    }
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
        return true;
    }
    return isGone(processState(pid));
}
