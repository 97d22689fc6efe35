// The running-application lookup against the real process table.
#include "platform/linux/proc_running_apps.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/bundle.h"
#include "recorder_panel.h"

TEST(ProcRunningApps, FindsProcessesByTheirBundleAndSeesZombiesAsGone) {
    TempDir dir;
    const std::string bundle = resolvedPath(dir.path()) + "/Sleeper.app";
    const pid_t pid = startSleeper(bundle, "com.lumivo.test-sleeper");
    ASSERT_GT(pid, 0);

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
    const pid_t pid =
        startSleeper(resolvedPath(dir.path()) + "/Sleeper.app", "com.lumivo.test-other-session",
                     "unix:path=/nonexistent/other-session-bus");
    ASSERT_GT(pid, 0);
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
