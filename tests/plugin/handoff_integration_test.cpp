// The hand-off with the real process table, launcher and clock: a panel of the same identifier
// running from elsewhere is shut down and the enclosed one started.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "fakes/fake_send_notifier.h"
#include "imaging/png.h"
#include "lumivo_test_paths.h"
#include "platform/bundle.h"
#include "platform/linux/proc_running_apps.h"
#include "plugin/panel_handoff.h"
#include "plugin/spool.h"
#include "recorder_panel.h"

TEST(HandoffIntegration, AStalePanelIsShutDownAndTheEnclosedOneLaunched) {
    TempDir dir;
    const std::string root = resolvedPath(dir.path());
    const pid_t stalePid =
        startSleeper(root + "/Old/LumivoAffinity.app", spool::kPanelBundleIdentifier);
    ASSERT_GT(stalePid, 0);
    ProcRunningApps apps;
    ASSERT_FALSE(apps.withBundleIdentifier(spool::kPanelBundleIdentifier).empty());

    const std::string enclosed = root + "/LumivoFilter.8bf/Contents/Resources/LumivoAffinity.app";
    makeRecorderPanel(enclosed);
    const std::string spoolDir = makeSpoolDirectory(dir, "host");
    FakeSendNotifier notifier;
    PosixPanelLauncher launcher;
    SystemClock clock;
    std::vector<std::string> reasons;
    HandoffPorts ports{
        .apps = apps,
        .notifier = notifier,
        .launcher = launcher,
        .clock = clock,
        .wallSeconds = &spool::nowSeconds,
        .enclosedPanelPath = enclosed,
        .launcherPath = std::string(LUMIVO_BUNDLE_DIR) + "/Contents/Linux/open",
        .hostPid = ::getpid(),
        .reportFailure = [&](const std::string& reason) { reasons.push_back(reason); },
    };
    EXPECT_TRUE(sendInputToPanel(openSpool(spoolDir),
                                 png::encode(PixelBuffer{1, 1, {1, 2, 3, 255}}), PictureMark{},
                                 true, ports));
    EXPECT_TRUE(reasons.empty());
    EXPECT_TRUE(notifier.posted.empty());
    int status = 0;
    ASSERT_EQ(::waitpid(stalePid, &status, 0), stalePid);
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);

    std::vector<std::string> lines = awaitRecording(enclosed);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(spoolDir + "/" + spool::newestFile(openSpool(spoolDir), spool::kInputPrefix)->name,
              lines[0]);
    EXPECT_EQ(lines[1], spoolDir);
    EXPECT_EQ(lines[2], std::to_string(::getpid()));
}
