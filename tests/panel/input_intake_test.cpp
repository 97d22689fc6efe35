#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fakes/fake_running_apps.h"
#include "imaging/png.h"
#include "panel/app/input_intake.h"
#include "panel/bridge/base64.h"
#include "panel_test_support.h"
#include "plugin/marked_png.h"
#include "plugin/temp_dir.h"

namespace {

namespace fs = std::filesystem;

void writePng(const std::string& path, uint32_t width, uint32_t height) {
    PixelBuffer image{width, height, std::vector<uint8_t>(size_t{width} * height * 4, 200)};
    std::vector<uint8_t> bytes = png::encode(image);
    ASSERT_FALSE(bytes.empty());
    writeText(path, std::string(bytes.begin(), bytes.end()));
}

void setModified(const std::string& path, int secondsAgo) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(secondsAgo));
}

TEST(HostPidFromArgument, ReadsLikeAtoiAndRefusesWhatAtoiCannotHold) {
    const std::vector<std::pair<const char*, int32_t>> cases = {
        {"4242", 4242},
        {"12abc", 12},
        {"abc", 0},
        {"-7", -7},
        {"  +42", 42},
        {"", 0},
        {"2147483647", 2147483647},
        {"2147483648", 0},
        {"-99999999999", 0},
        {"99999999999999999999999", 0},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(hostPidFromArgument(text), expected) << text;
    }
}

TEST(NewestSpooledInput, LatestModificationWinsAndOnlyPlainPngInputsCount) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    writePng(dir + "/input-200.png", 1, 1);
    setModified(dir + "/input-200.png", 60);
    writePng(dir + "/input-100.png", 1, 1);  // the smaller stamp, but written last
    setModified(dir + "/input-100.png", 30);
    // Newer, but none of these is ever picked.
    writePng(dir + "/input-300.PNG", 1, 1);
    fs::create_directory(dir + "/input-400.png");
    fs::create_symlink(dir + "/input-100.png", dir + "/input-500.png");
    writePng(dir + "/result-600.png", 1, 1);
    EXPECT_EQ(newestSpooledInput(openSpool(dir)), "input-100.png");
    fs::remove(dir + "/input-100.png");
    fs::remove(dir + "/input-200.png");
    EXPECT_EQ(newestSpooledInput(openSpool(dir)), std::nullopt);
}

TEST(SweepInputs, RemovesOnlyRegularInputFilesAndNeverEntersOrFollowsAnything) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    writeText(dir + "/input-1.png", "x");
    writeText(dir + "/input-2.txt", "x");
    writeText(dir + "/input-dir.png/inner", "x");
    writeText(temp / "elsewhere/kept.png", "x");
    fs::create_symlink(temp / "elsewhere/kept.png", dir + "/input-link.png");
    writeText(dir + "/result-1.png", "x");
    writeText(dir + "/Input-3.png", "x");
    sweepInputs(openSpool(dir));
    EXPECT_EQ(entryNames(dir),
              (std::vector<std::string>{"Input-3.png", "input-2.txt", "input-dir.png",
                                        "input-link.png", "result-1.png"}));
    EXPECT_TRUE(fs::exists(dir + "/input-dir.png/inner"));
    EXPECT_TRUE(fs::exists(temp / "elsewhere/kept.png"));
}

TEST(LoadInputFrame, InstallsAnImageAndDeletesTheFileWhateverItHeld) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    const spool::Directory spoolDir = openSpool(dir);
    HandlerRig rig;
    writePng(dir + "/input-1.png", 5, 4);
    loadInputFrame(rig.handler, spoolDir, "input-1.png", {});
    EXPECT_FALSE(fs::exists(dir + "/input-1.png"));
    EXPECT_EQ(rig.frame.width, 5u);
    EXPECT_EQ(rig.frame.height, 4u);

    writeText(dir + "/input-2.png", "not an image");
    loadInputFrame(rig.handler, spoolDir, "input-2.png", {});
    EXPECT_FALSE(fs::exists(dir + "/input-2.png"));
    loadInputFrame(rig.handler, spoolDir, "input-3.png", {});  // missing
    EXPECT_EQ(rig.frame.width, 5u);
    rig.drain();
    EXPECT_EQ(rig.webView->scripts.size(), 1u);  // only the image was announced
}

// The PNG bytes the page receives for one export.
std::vector<uint8_t> exported(HandlerRig& rig) {
    const size_t before = rig.pageCalls().size();
    rig.post({{"type", "export-frame"}, {"ackId", "x"}});
    rig.drain();
    std::string text;
    const auto calls = rig.pageCalls();
    for (size_t i = before; i < calls.size(); ++i) {
        if (calls[i].name == "__lumivoFrameChunk") {
            text += calls[i].arguments[1].get<std::string>();
        }
    }
    return base64::decode(text).value_or(std::vector<uint8_t>{});
}

TEST(LoadInputFrame, AnInputFileThatHoldsExactlyItsFrameIsExportedAsItIsUntilReplaced) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    const spool::Directory spoolDir = openSpool(dir);
    HandlerRig rig;
    PixelBuffer photo{9, 7, {}};
    for (uint32_t i = 0; i < 9 * 7; ++i) {
        photo.rgba.insert(photo.rgba.end(), {uint8_t(i * 3), uint8_t(200 - i), uint8_t(i), 255});
    }
    const std::vector<uint8_t> file = png::encode(photo);
    writeText(dir + "/input-1.png", std::string(file.begin(), file.end()));
    loadInputFrame(rig.handler, spoolDir, "input-1.png", {});
    EXPECT_EQ(exported(rig), file);
    EXPECT_TRUE(rig.encoded.empty()) << "nothing encoded again";
    EXPECT_EQ(png::decode(file.data(), file.size()).rgba, rig.frame.rgba);

    // A transparent pixel with a colour: the frame holds it blank, the file does not.
    const std::vector<uint8_t> coloured = png::encode(PixelBuffer{1, 1, {9, 9, 9, 0}});
    writeText(dir + "/input-2.png", std::string(coloured.begin(), coloured.end()));
    loadInputFrame(rig.handler, spoolDir, "input-2.png", {});
    EXPECT_EQ(exported(rig), rig.encoderOutput);
    ASSERT_EQ(rig.encoded.size(), 1u);
    EXPECT_EQ(rig.encoded[0].rgba, (std::vector<uint8_t>{0, 0, 0, 0}));

    // Any other frame leaves the file behind.
    writeText(dir + "/input-3.png", std::string(file.begin(), file.end()));
    loadInputFrame(rig.handler, spoolDir, "input-3.png", {});
    rig.handler.retargetAtFrame(PixelBuffer{1, 1, {1, 2, 3, 4}}, nullptr);
    EXPECT_EQ(exported(rig), rig.encoderOutput);
    EXPECT_EQ(rig.encoded.size(), 2u);
}

TEST(LoadInputFrame, NeverBlocksOnAFifoNorReadsThroughALink) {
    TempDir temp;
    const std::string dir = makeSpoolDirectory(temp);
    const spool::Directory spoolDir = openSpool(dir);
    HandlerRig rig;
    ASSERT_EQ(::mkfifo((dir + "/input-1.png").c_str(), 0600), 0);
    writePng(dir + "/photo.png", 5, 4);
    fs::create_symlink(dir + "/photo.png", dir + "/input-2.png");
    loadInputFrame(rig.handler, spoolDir, "input-1.png", {});  // would wait for a writer forever
    loadInputFrame(rig.handler, spoolDir, "input-2.png", {});
    EXPECT_EQ(rig.frame.width, 2u);
    EXPECT_TRUE(fs::exists(fs::symlink_status(dir + "/input-1.png")));
    EXPECT_TRUE(fs::exists(fs::symlink_status(dir + "/input-2.png")));
    EXPECT_TRUE(fs::exists(dir + "/photo.png"));
}

TEST(AcceptedSpoolDirectory, OnlyADirectoryRightUnderThisUsersSpoolRoot) {
    TempDir temp;
    ScopedEnv data("XDG_DATA_HOME", temp.path().c_str());
    const std::string host = makeSpoolDirectory(temp, "com.example.host");
    const std::string root = temp / "Lumivo/affinity-8bf-spool";
    fs::create_directories(host + "/sub");
    fs::create_directories(temp / "Documents");
    fs::create_directory_symlink(temp / "Documents", root + "/linked");
    fs::create_directory_symlink(root, temp / "root-alias");
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {host, host},
        {host + "/", host},
        {root + "/../affinity-8bf-spool/com.example.host", host},
        {temp / "root-alias/com.example.host", host},  // a link above the host level resolves
        {temp / "Documents", std::nullopt},
        {root, std::nullopt},
        {host + "/sub", std::nullopt},
        {root + "/linked", std::nullopt},
        {root + "/missing", std::nullopt},
        {"Lumivo/affinity-8bf-spool/com.example.host", std::nullopt},
    };
    for (const auto& [given, accepted] : cases) {
        std::optional<spool::Directory> opened = acceptedSpoolDirectory(given);
        EXPECT_EQ(opened ? std::optional(opened->path()) : std::nullopt, accepted) << given;
    }
}

// A spool root with the command line's directory and a sibling for another host.
struct IntakeRig : HandlerRig {
    TempDir temp;
    std::string root = temp / "Lumivo/affinity-8bf-spool";
    std::string hostA = root + "/com.example.host-a";
    std::string hostB = root + "/com.example.host-b";
    ManualQueue intakeQueue;
    FakeRunningApps runningApps;
    SendObserver observer{hostA, handler, window, runningApps, intakeQueue};

    IntakeRig() {
        fs::create_directories(hostA);
        fs::create_directories(hostB);
        handler.setSpoolDirectory(hostA);
        gHostPid = 0;
    }

    void send(std::optional<std::string> input, std::optional<int64_t> hostPid = std::nullopt,
              std::optional<bool> activate = std::nullopt) {
        observer.onSend(ReceivedAnnouncement{std::move(input), hostPid, activate});
        intakeQueue.drain();
        drain();
    }
};

TEST(SendObserver, IgnoresInputsOutsideTheSpoolOrNotNamedAsInputs) {
    IntakeRig rig;
    writePng(rig.temp / "elsewhere/input-1.png", 3, 3);
    writePng(rig.hostA + "/result-1.png", 3, 3);
    writePng(rig.hostA + "/input-2.PNG", 3, 3);
    writePng(rig.hostA + "/input-3.png.txt", 3, 3);
    writePng(rig.root + "/input-4.png", 3, 3);  // in the root itself, not a host directory
    const std::vector<std::optional<std::string>> ignored = {
        std::nullopt,
        "",
        rig.temp / "elsewhere/input-1.png",
        rig.hostA + "/result-1.png",
        rig.hostA + "/input-2.PNG",
        rig.hostA + "/input-3.png.txt",
        rig.root + "/input-4.png",
        rig.hostA + "/../../elsewhere/input-1.png",
    };
    for (const auto& input : ignored) {
        rig.send(input, 1, true);
    }
    EXPECT_EQ(rig.window->presented, 0);
    EXPECT_EQ(rig.handler.spoolDirectory(), rig.hostA);
    EXPECT_EQ(rig.frame.width, 2u);
    EXPECT_TRUE(fs::exists(rig.temp / "elsewhere/input-1.png"));
    EXPECT_TRUE(fs::exists(rig.hostA + "/input-2.PNG"));
}

TEST(SendObserver, AcceptedInputsSwitchTheDirectoryLoadTheFrameAndActivateWhenAsked) {
    IntakeRig rig;
    rig.send(rig.hostA + "/input-9.png");  // missing: still activates, leaves the frame
    EXPECT_EQ(rig.window->presented, 1);
    EXPECT_EQ(rig.frame.width, 2u);
    EXPECT_TRUE(rig.webView->scripts.empty());

    writePng(rig.hostB + "/input-7.png", 6, 2);
    // Reached through "..": the path is standardised before it is judged.
    rig.send(rig.hostA + "/../com.example.host-b/input-7.png");
    EXPECT_EQ(rig.handler.spoolDirectory(), rig.hostB);
    EXPECT_EQ(rig.frame.width, 6u);
    EXPECT_FALSE(fs::exists(rig.hostB + "/input-7.png"));
    EXPECT_EQ(rig.window->presented, 2);

    // Links are resolved before the root is compared.
    rig.handler.setSpoolDirectory(rig.hostA);
    fs::create_directory_symlink(rig.hostB, rig.temp / "alias");
    writePng(rig.hostB + "/input-8.png", 4, 4);
    rig.send(rig.temp / "alias/input-8.png", std::nullopt, false);
    EXPECT_EQ(rig.handler.spoolDirectory(), rig.hostB);
    EXPECT_EQ(rig.frame.width, 4u);
    EXPECT_EQ(rig.window->presented, 2);  // "activate" false
}

// What the editor applied comes without "activate"; everything else is a picture handed over,
// and only those are counted as hand-offs.
TEST(SendObserver, ThePageHearsWhetherAnInputWasHandedOverOrApplied) {
    struct Case {
        std::optional<bool> activate;
        const char* arrival;
        uint64_t handOffs;
    };
    const Case cases[] = {
        {std::nullopt, "handed-off", 1},
        {true, "handed-off", 1},
        {false, "applied", 0},
    };
    for (const Case& c : cases) {
        IntakeRig rig;
        writePng(rig.hostB + "/input-1.png", 3, 2);
        rig.send(rig.hostB + "/input-1.png", std::nullopt, c.activate);
        ASSERT_EQ(rig.webView->scripts.size(), 1u);
        const std::string script = HandlerRig::unguarded(rig.webView->scripts[0])->script;
        EXPECT_NE(script.find(std::string("editor: \"com.example.host-b\", arrival: \"") +
                              c.arrival + "\""),
                  std::string::npos)
            << script;
        EXPECT_EQ(rig.handler.handOffs(), c.handOffs);
    }
}

TEST(SendObserver, AdoptsAHostPidOnlyForALiveProcessOfThatDirectorysApplication) {
    struct Case {
        std::optional<int64_t> hostPid;
        int32_t expected;
    };
    const std::vector<Case> cases = {
        {4242, 4242},                     // runs, and its identifier is the directory's name
        {5151, 77},                       // runs, but is another application
        {6161, 77},                       // not running
        {std::nullopt, 77},               // absent
        {0, 77},                          // not a process id
        {-4242, 77},                      // not a process id
        {4242 + (int64_t{1} << 32), 77},  // out of range, not truncated onto a real process
    };
    for (const auto& c : cases) {
        IntakeRig rig;
        rig.runningApps.apps = {{4242, "/apps/b", "com.example.host-b"},
                                {5151, "/apps/a", "com.example.host-a"}};
        gHostPid = 77;
        rig.send(rig.hostB + "/input-1.png", c.hostPid);
        EXPECT_EQ(gHostPid.load(), c.expected) << c.hostPid.value_or(-1);
    }
}

TEST(SendObserver, InputsAreInstalledInAnnouncementOrder) {
    IntakeRig rig;
    writePng(rig.hostA + "/input-1.png", 10, 1);
    writePng(rig.hostA + "/input-2.png", 20, 1);
    rig.observer.onSend({rig.hostA + "/input-1.png", std::nullopt, false});
    rig.observer.onSend({rig.hostA + "/input-2.png", std::nullopt, false});
    rig.intakeQueue.drain();
    rig.drain();
    EXPECT_EQ(rig.frame.width, 20u);
    ASSERT_EQ(rig.webView->scripts.size(), 2u);
    EXPECT_NE(rig.webView->scripts[0].find("width: 10,"), std::string::npos);
    EXPECT_NE(rig.webView->scripts[1].find("width: 20,"), std::string::npos);
}

TEST(SendObserver, IgnoresHostDirectoriesSomeoneElseControls) {
    IntakeRig rig;
    writePng(rig.temp / "elsewhere/input-1.png", 3, 3);
    fs::create_directory_symlink(rig.temp / "elsewhere", rig.root + "/com.example.linked");
    rig.send(rig.root + "/com.example.linked/input-1.png");
    EXPECT_TRUE(fs::exists(rig.temp / "elsewhere/input-1.png"));

    // A directory of the user's own that others could write is made private and used.
    const std::string loose = rig.root + "/com.example.loose";
    fs::create_directory(loose);
    ::chmod(loose.c_str(), 0777);
    writePng(loose + "/input-2.png", 6, 6);
    rig.send(loose + "/input-2.png");
    EXPECT_EQ(rig.handler.spoolDirectory(), loose);
    EXPECT_EQ(fs::status(loose).permissions(), fs::perms::owner_all);

    if (::geteuid() == 0) {  // only root can hand a directory to another user
        const std::string foreign = rig.root + "/com.example.foreign";
        writePng(foreign + "/input-3.png", 9, 9);
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
        rig.send(foreign + "/input-3.png");
        EXPECT_TRUE(fs::exists(foreign + "/input-3.png"));
        EXPECT_EQ(rig.handler.spoolDirectory(), loose);
    }
    EXPECT_EQ(rig.frame.width, 6u);
}

TEST(SendObserver, AFifoAnnouncedAsAnInputDoesNotStopLaterInputs) {
    IntakeRig rig;
    ASSERT_EQ(::mkfifo((rig.hostA + "/input-1.png").c_str(), 0600), 0);
    rig.send(rig.hostA + "/input-1.png");
    writePng(rig.hostA + "/input-2.png", 8, 8);
    rig.send(rig.hostA + "/input-2.png");
    EXPECT_EQ(rig.frame.width, 8u);
}

TEST(SendObserver, AnExportRemembersWhichEditorItsFrameCameFrom) {
    // Two windows of one editor share a spool directory; only their processes differ.
    IntakeRig rig;
    rig.runningApps.apps = {{4242, "/apps/a", "com.example.host-a"},
                            {4343, "/apps/a", "com.example.host-a"}};
    writePng(rig.hostA + "/input-1.png", 3, 3);
    rig.send(rig.hostA + "/input-1.png", 4242);
    EXPECT_FALSE(rig.handler.lastExportIsFromAnotherSource()) << "nothing exported yet";
    rig.post({{"type", "export-frame"}, {"ackId", "a"}});
    rig.drain();
    EXPECT_FALSE(rig.handler.lastExportIsFromAnotherSource());

    // A result of this frame keeps its editor.
    rig.handler.retargetAtFrame(PixelBuffer{1, 1, {1, 2, 3, 4}}, nullptr);
    EXPECT_FALSE(rig.handler.lastExportIsFromAnotherSource());

    writePng(rig.hostA + "/input-2.png", 4, 4);
    rig.send(rig.hostA + "/input-2.png", 4343);
    EXPECT_TRUE(rig.handler.lastExportIsFromAnotherSource());
    rig.post({{"type", "export-frame"}, {"ackId", "b"}});
    rig.drain();
    EXPECT_FALSE(rig.handler.lastExportIsFromAnotherSource());
}

TEST(SendObserver, AResultIsMarkedForThePictureThePageLastExported) {
    IntakeRig rig;
    const PictureMark first{1, 1, 3, 1, 3};
    const PictureMark second{2, 2, 4, 1, 3};
    EXPECT_EQ(rig.handler.resultMark(), std::nullopt) << "the start frame came unmarked";
    auto writeMarked = [](const std::string& path, uint32_t width, const PictureMark& mark) {
        const std::vector<uint8_t> file = markedPng(
            png::encode(PixelBuffer{width, 1, std::vector<uint8_t>(width * 4, 90)}), mark);
        writeText(path, std::string(file.begin(), file.end()));
    };
    writeMarked(rig.hostA + "/input-1.png", 3, first);
    rig.send(rig.hostA + "/input-1.png");
    EXPECT_EQ(rig.handler.resultMark(), first) << "nothing exported yet: the frame shown";
    EXPECT_FALSE(exported(rig).empty());

    // A result installed as the frame still belongs to the picture it was made from.
    rig.handler.retargetAtFrame(PixelBuffer{1, 1, {1, 2, 3, 4}}, nullptr);
    rig.post({{"type", "export-frame"}, {"ackId", "b"}});
    rig.drain();
    EXPECT_EQ(rig.handler.resultMark(), first);

    // Another picture arrives: a result the page finishes now was made from the one it
    // exported, until it exports the new one.
    writeMarked(rig.hostA + "/input-2.png", 4, second);
    rig.send(rig.hostA + "/input-2.png");
    EXPECT_EQ(rig.handler.resultMark(), first);
    rig.post({{"type", "export-frame"}, {"ackId", "c"}});
    rig.drain();
    EXPECT_EQ(rig.handler.resultMark(), second);

    // A file from a plug-in that marks nothing marks nothing.
    writePng(rig.hostA + "/input-3.png", 5, 1);
    rig.send(rig.hostA + "/input-3.png");
    rig.post({{"type", "export-frame"}, {"ackId", "d"}});
    rig.drain();
    EXPECT_EQ(rig.handler.resultMark(), std::nullopt);
}

}  // namespace
