#include "plugin/panel_handoff.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "fakes/fake_clock.h"
#include "fakes/fake_panel_launcher.h"
#include "fakes/fake_running_apps.h"
#include "fakes/fake_send_notifier.h"
#include "imaging/png.h"
#include "plugin/picture_mark.h"
#include "plugin/spool.h"
#include "temp_dir.h"

namespace {

constexpr pid_t kHostPid = 4321;
constexpr pid_t kPanelPid = 777;
constexpr char kInputName[] = "input-1700000000500.png";
constexpr PictureMark kMark{0xabcdef, 0x123456, 2, 2, 4};
const PixelBuffer kImage{2, 2, std::vector<uint8_t>(16, 200)};

class PanelHandoff : public ::testing::Test {
  protected:
    PanelHandoff() {
        std::filesystem::create_directories(spoolDir);
        std::filesystem::create_directories(enclosedPanel + "/Contents");
    }

    bool send(bool activate, std::vector<uint8_t> file = png::encode(kImage)) {
        return sendInputToPanel(openSpool(spoolDir), std::move(file), kMark, activate, ports);
    }
    void runPanelFrom(const std::string& bundle) {
        apps.apps.push_back({kPanelPid, bundle, spool::kPanelBundleIdentifier});
    }
    bool inputExists() const { return std::filesystem::exists(spoolDir + "/" + kInputName); }

    TempDir dir;
    const std::string root = std::filesystem::canonical(dir.path()).string();
    const std::string spoolDir = root + "/Lumivo/affinity-8bf-spool/com.example.host";
    const std::string pluginBundle = root + "/LumivoFilter.8bf";
    const std::string enclosedPanel = pluginBundle + "/Contents/Resources/LumivoAffinity.app";
    FakeRunningApps apps;
    FakeSendNotifier notifier;
    FakePanelLauncher launcher;
    FakeClock clock;
    std::vector<std::string> reasons;
    HandoffPorts ports{
        .apps = apps,
        .notifier = notifier,
        .launcher = launcher,
        .clock = clock,
        .wallSeconds = [] { return 1700000000.5; },
        .enclosedPanelPath = enclosedPanel,
        .launcherPath = pluginBundle + "/Contents/Linux/open",
        .hostPid = kHostPid,
        .reportFailure = [this](const std::string& reason) { reasons.push_back(reason); },
    };
};

}  // namespace

TEST_F(PanelHandoff, TheRunningEnclosedPanelIsNotifiedAndNotLaunched) {
    // Reached through a link in the plug-in's path: still the enclosed panel, not a stale one.
    std::filesystem::create_directory_symlink(pluginBundle, root + "/linked.8bf");
    ports.enclosedPanelPath = root + "/linked.8bf/Contents/Resources/LumivoAffinity.app";
    runPanelFrom(enclosedPanel);
    for (bool activate : {true, false}) {
        notifier.posted.clear();
        ASSERT_TRUE(send(activate));
        ASSERT_EQ(notifier.posted.size(), 1u);
        EXPECT_EQ(notifier.posted[0].input, spoolDir + "/" + kInputName);
        EXPECT_EQ(notifier.posted[0].activate, activate);
        EXPECT_EQ(notifier.posted[0].hostPid, kHostPid);
        EXPECT_TRUE(inputExists());
    }
    EXPECT_TRUE(launcher.runs.empty());
    EXPECT_TRUE(apps.terminated.empty());

    notifier.reachable = false;  // an unreachable bus fails the hand-off and removes the input
    EXPECT_FALSE(send(true));
    EXPECT_FALSE(inputExists());
    EXPECT_EQ(reasons.size(), 1u);
}

TEST_F(PanelHandoff, TheInputSaysWhichPictureItIsAndReplacesTheInputsNoPanelTook) {
    runPanelFrom(enclosedPanel);
    // Earlier hand-offs whose panel never came: a later name or a later date changes nothing.
    writeText(spoolDir + "/input-1700000000400.png", "older");
    writeText(spoolDir + "/input-1800000000000.png", "later name");
    writeText(spoolDir + "/result-1.png", "a result");
    writeText(spoolDir + "/.input-1.png.AbCdEf", "being written");
    ASSERT_TRUE(send(false));
    EXPECT_EQ(entryNames(spoolDir),
              (std::vector<std::string>{".input-1.png.AbCdEf", kInputName, "result-1.png"}));
    const std::optional<std::vector<uint8_t>> written =
        spool::readWhole(spoolDir + "/" + kInputName);
    ASSERT_TRUE(written);
    EXPECT_EQ(picture_mark::find(written->data(), written->size()).mark, kMark);
    const png::DecodedFile decoded = png::decodeFile(written->data(), written->size());
    EXPECT_EQ(decoded.image.rgba, kImage.rgba);
    EXPECT_TRUE(decoded.standsForEncode) << "the panel can still export the file as it is";
    EXPECT_EQ(notifier.posted.size(), 1u);

    // Bytes that aren't a PNG can't say which picture they are: nothing is written or told.
    EXPECT_FALSE(send(true, {0x89, 'P', 'N', 'G', 1, 2, 3}));
    EXPECT_EQ(notifier.posted.size(), 1u);
    EXPECT_TRUE(spool::readWhole(spoolDir + "/" + kInputName));
}

TEST_F(PanelHandoff, WithoutActivationNoPanelIsLaunchedAndNoInputIsLeft) {
    EXPECT_TRUE(send(false));  // nobody running
    runPanelFrom(root + "/Elsewhere/LumivoAffinity.app");
    EXPECT_TRUE(send(false));  // only a stale panel: left alone
    EXPECT_TRUE(entryNames(spoolDir).empty());
    EXPECT_TRUE(launcher.runs.empty());
    EXPECT_TRUE(notifier.posted.empty());
    EXPECT_TRUE(apps.terminated.empty());
    EXPECT_TRUE(reasons.empty());
}

TEST_F(PanelHandoff, LaunchesTheEnclosedPanelWithItsThreeArguments) {
    ASSERT_TRUE(send(true));
    ASSERT_EQ(launcher.runs.size(), 1u);
    const std::vector<std::string> expected = {
        pluginBundle + "/Contents/Linux/open", enclosedPanel, "--args",
        spoolDir + "/" + kInputName,           spoolDir,      "4321"};
    EXPECT_EQ(launcher.runs[0], expected);
    EXPECT_TRUE(inputExists());
    EXPECT_TRUE(notifier.posted.empty());
}

TEST_F(PanelHandoff, StalePanelShutdown) {
    struct Case {
        const char* name;
        std::optional<int> politePolls;  // polls until gone after SIGTERM; none: ignores it
        std::optional<int> forcedPolls;  // same after SIGKILL
        bool launched;
        size_t forcedRequests;
    };
    const Case cases[] = {
        {"quits at once", 0, std::nullopt, true, 0},
        {"quits politely after a while", 12, std::nullopt, true, 0},
        {"needs force", std::nullopt, 5, true, 1},
        {"refuses both", std::nullopt, std::nullopt, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        apps = FakeRunningApps();
        launcher.runs.clear();
        reasons.clear();
        const double start = clock.now;
        runPanelFrom(root + "/Elsewhere/LumivoAffinity.app");
        if (c.politePolls) {
            apps.pollsToQuitAfterTerminate[kPanelPid] = *c.politePolls;
        }
        if (c.forcedPolls) {
            apps.pollsToQuitAfterForce[kPanelPid] = *c.forcedPolls;
        }

        EXPECT_EQ(send(true), c.launched);
        EXPECT_EQ(apps.terminated, std::vector<pid_t>{kPanelPid});
        EXPECT_EQ(apps.forced.size(), c.forcedRequests);
        EXPECT_EQ(launcher.runs.size(), c.launched ? 1u : 0u);
        EXPECT_EQ(inputExists(), c.launched);
        if (!c.launched) {
            EXPECT_EQ(reasons, std::vector<std::string>{"stale panel refused to quit \u2014 send "
                                                        "aborted"});
            // 3.0 s then 2.0 s, each overrun by at most one poll interval.
            EXPECT_GE(clock.now - start, 5.0 - 1e-9);
            EXPECT_LE(clock.now - start, 5.2 + 1e-9);
        }
        for (double sleep : clock.sleeps) {
            EXPECT_DOUBLE_EQ(sleep, 0.1);
        }
        std::filesystem::remove_all(spoolDir);
        std::filesystem::create_directories(spoolDir);
    }
}

TEST_F(PanelHandoff, LaunchFailuresRemoveTheInputWithTheirReason) {
    struct Case {
        LaunchOutcome outcome;
        bool ok;
        std::string reason;
    };
    const Case cases[] = {
        {{0, 0}, true, ""},
        {{0, 0x80}, true, ""},  // only the core-dump bit: not a failure
        {{2, 0}, false, "posix_spawn(open) failed: 2"},
        {{0, 256}, false, "open(1) failed to launch the panel app (status 256)"},
        {{0, 9}, false, "open(1) failed to launch the panel app (status 9)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        reasons.clear();
        launcher.outcome = c.outcome;
        EXPECT_EQ(send(true), c.ok);
        EXPECT_EQ(inputExists(), c.ok);
        EXPECT_EQ(reasons, c.ok ? std::vector<std::string>{} : std::vector<std::string>{c.reason});
        std::filesystem::remove(spoolDir + "/" + kInputName);
    }
}

TEST_F(PanelHandoff, NothingIsLeftWhenTheImageCannotBeEncodedOrTheHelperIsMissing) {
    EXPECT_FALSE(send(true, {}));
    EXPECT_TRUE(reasons.empty());
    std::filesystem::remove_all(enclosedPanel);
    for (bool danglingLink : {false, true}) {
        if (danglingLink) {
            std::filesystem::create_symlink(enclosedPanel + ".gone", enclosedPanel);
        }
        reasons.clear();
        EXPECT_FALSE(send(true));
        EXPECT_EQ(reasons, std::vector<std::string>{"helper missing at " + enclosedPanel});
        EXPECT_TRUE(launcher.runs.empty());
        EXPECT_TRUE(entryNames(spoolDir).empty());
    }
}
