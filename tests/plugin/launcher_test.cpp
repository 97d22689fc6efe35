// The bundle launcher and the plug-in's way of starting it, with real processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "lumivo_test_paths.h"
#include "plugin/panel_launcher.h"
#include "recorder_panel.h"

namespace {

const std::string kOpen = std::string(LUMIVO_BUNDLE_DIR) + "/Contents/Linux/open";

}  // namespace

TEST(Launcher, StartsTheBundleExecutableDetachedWithItsArguments) {
    TempDir dir;
    const std::string panel = dir / "Panel.app";
    makeRecorderPanel(panel);
    PosixPanelLauncher launcher;
    LaunchOutcome outcome =
        launcher.run({kOpen, panel, "--args", "/spool/host/input-1.png", "/spool/host", "99"});
    EXPECT_EQ(outcome.spawnError, 0);
    EXPECT_EQ(outcome.waitStatus, 0);

    std::vector<std::string> lines = awaitRecording(panel);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "/spool/host/input-1.png");
    EXPECT_EQ(lines[1], "/spool/host");
    EXPECT_EQ(lines[2], "99");
    EXPECT_EQ(lines[3], "3");
    // In a session of its own, not ours.
    EXPECT_NE(std::stol(lines[5]), static_cast<long>(::getsid(0)));
}

TEST(Launcher, ReportsEveryFailedStart) {
    TempDir dir;
    makeBundle(dir / "NoExecutable.app", "com.example.none", "missing");
    makeBundle(dir / "NoKey.app", "com.example.nokey");
    makeBundle(dir / "Escapes.app", "com.example.escape", "../../../bin/true");
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
    };
    const Case cases[] = {
        {{kOpen, dir / "NoExecutable.app", "--args", "a"}, 1},
        {{kOpen, dir / "NoKey.app", "--args"}, 1},
        {{kOpen, dir / "Escapes.app", "--args"}, 1},
        {{kOpen, dir / "NotABundle.app", "--args"}, 1},
        {{kOpen, dir / "NoExecutable.app", "a"}, 2},
        {{kOpen}, 2},
    };
    PosixPanelLauncher launcher;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.size() > 1 ? c.arguments[1] : "no arguments");
        LaunchOutcome outcome = launcher.run(c.arguments);
        EXPECT_EQ(outcome.spawnError, 0);
        ASSERT_TRUE(WIFEXITED(outcome.waitStatus));
        EXPECT_EQ(WEXITSTATUS(outcome.waitStatus), c.exitCode);
    }
    EXPECT_NE(launcher.run({dir / "no-such-launcher", "x"}).spawnError, 0);
}
