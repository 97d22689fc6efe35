// The running-application lookup against the real process table.
#include "platform/linux/proc_running_apps.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/bundle.h"
#include "temp_dir.h"

namespace {

pid_t startFrom(const std::string& executable, const char* sessionBus = nullptr) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (sessionBus != nullptr) {
            ::setenv("DBUS_SESSION_BUS_ADDRESS", sessionBus, 1);
        }
        ::execl(executable.c_str(), executable.c_str(), "30", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return pid;
}

// Waits (by polling the process table, not by time) until the exec has replaced the fork.
void awaitExec(pid_t pid, const std::string& executable) {
    for (int i = 0; i < 2000; ++i) {
        std::error_code ignored;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ignored) ==
            executable) {
            return;
        }
        ::usleep(1000);
    }
}

}  // namespace

TEST(ProcRunningApps, FindsProcessesByTheirBundleAndSeesZombiesAsGone) {
    TempDir dir;
    const std::string bundle = resolvedPath(dir.path()) + "/Sleeper.app";
    makeBundle(bundle, "com.lumivo.test-sleeper", "sleeper");
    const std::string executable = bundle + "/Contents/Linux/sleeper";
    std::filesystem::create_directories(bundle + "/Contents/Linux");
    std::filesystem::copy_file("/bin/sleep", executable);
    std::filesystem::permissions(executable, std::filesystem::perms::owner_all);

    pid_t pid = startFrom(executable);
    ASSERT_GT(pid, 0);
    awaitExec(pid, executable);

    ProcRunningApps apps;
    std::vector<RunningApp> found = apps.withBundleIdentifier("com.lumivo.test-sleeper");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].pid, pid);
    EXPECT_EQ(found[0].bundlePath, bundle);
    std::optional<RunningApp> byPid = apps.withPid(pid);
    ASSERT_TRUE(byPid);
    EXPECT_EQ(byPid->bundleIdentifier, "com.lumivo.test-sleeper");
    EXPECT_FALSE(apps.isTerminated(pid));

    apps.terminate(pid);
    // Not reaped yet: a zombie, which counts as terminated and is no longer listed.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
    EXPECT_TRUE(apps.isTerminated(pid));
    EXPECT_FALSE(apps.withPid(pid));
    EXPECT_TRUE(apps.withBundleIdentifier("com.lumivo.test-sleeper").empty());
    ::waitpid(pid, nullptr, 0);
    EXPECT_TRUE(apps.isTerminated(pid));
}

TEST(ProcRunningApps, ApplicationsOnAnotherSessionBusAreNotListed) {
    TempDir dir;
    const std::string bundle = resolvedPath(dir.path()) + "/Sleeper.app";
    makeBundle(bundle, "com.lumivo.test-other-session", "sleeper");
    const std::string executable = bundle + "/Contents/Linux/sleeper";
    std::filesystem::create_directories(bundle + "/Contents/Linux");
    std::filesystem::copy_file("/bin/sleep", executable);
    std::filesystem::permissions(executable, std::filesystem::perms::owner_all);

    pid_t pid = startFrom(executable, "unix:path=/nonexistent/other-session-bus");
    ASSERT_GT(pid, 0);
    awaitExec(pid, executable);
    ProcRunningApps apps;
    EXPECT_TRUE(apps.withBundleIdentifier("com.lumivo.test-other-session").empty());
    std::optional<RunningApp> byPid = apps.withPid(pid);
    ASSERT_TRUE(byPid);
    EXPECT_EQ(byPid->bundleIdentifier, "com.lumivo.test-other-session");
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

TEST(ProcRunningApps, AProcessOutsideAnyBundleHasNoIdentifier) {
    ProcRunningApps apps;
    std::optional<RunningApp> self = apps.withPid(::getpid());
    ASSERT_TRUE(self);
    EXPECT_EQ(self->bundleIdentifier, "");
    EXPECT_FALSE(apps.withPid(-5));
}
