// The real panel (closing one second after its editor quits instead of a minute) serves an
// editor that is a process of the test's own, which the test then ends.
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "lumivo_test_paths.h"
#include "panel_install.h"
#include "panel_process.h"
#include "platform/linux/dbus_send_notifier.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kGonePage = std::string(LUMIVO_SOURCE_DIR) + "/tests/panel/editor_gone_page.html";

// The panel bundle with the quick-closing panel in place of the shipped program.
struct QuickClosingPanel : PanelInstall {
    QuickClosingPanel() : PanelInstall(kGonePage) {
        fs::copy_file(std::string(LUMIVO_BINARY_DIR) + "/tests/panel/lumivo-quick-close-panel",
                      executable, fs::copy_options::overwrite_existing);
    }

    // An editor program as the desktop knows it: an executable inside a bundle whose identifier
    // is the spool directory's name, so the panel believes hand-offs from it.
    std::unique_ptr<ChildProcess> startEditor() {
        const std::string editorBundle = temp / "Editor.app";
        const std::string program = editorBundle + "/Contents/Linux/editor";
        if (!fs::exists(program)) {
            fs::create_directories(editorBundle + "/Contents/Linux");
            writeText(editorBundle + "/Contents/Info.ini",
                      "[Bundle]\nIdentifier=com.example.host\nExecutable=editor\n");
            fs::copy_file("/usr/bin/sleep", program);
        }
        return std::make_unique<ChildProcess>(program, std::vector<std::string>{"600"});
    }
};

// The resident memory of a process in kB, or 0.
long residentKilobytes(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

TEST(EditorQuit, ThePanelLetsGoOfThePictureTellsThePageAndClosesAfterTheDelay) {
    QuickClosingPanel install;
    auto editor = install.startEditor();
    writeSolidPng(install.spool + "/input-1.png", 4000, 3000, {90, 60, 30, 255});
    auto panel = install.start(
        {install.spool + "/input-1.png", install.spool, std::to_string(editor->pid())});
    ASSERT_TRUE(panel->waitForLine(kLogPrefix + "probe export first ok=true"))
        << panel->allOutput();
    // A result that waits in the spool is the next run's: the panel leaves it alone.
    writeText(install.spool + "/result-1.png", "a waiting result");
    const long before = residentKilobytes(panel->pid());

    ::kill(editor->pid(), SIGKILL);
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "probe editor-gone [1]")) << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine(kLogPrefix +
                                   "probe export after-gone ok=false bytes=0 PNG encode failed"))
        << panel->allOutput();
    const long after = residentKilobytes(panel->pid());
    RecordProperty("panel_resident_kB_before_quit", std::to_string(before));
    RecordProperty("panel_resident_kB_after_quit", std::to_string(after));
    std::printf("panel resident memory: %ld kB with a 4000 x 3000 frame, %ld kB after the quit\n",
                before, after);

    EXPECT_EQ(panel->waitForExit(20s), 0) << panel->allOutput();
    EXPECT_EQ(readText(install.spool + "/result-1.png"), "a waiting result");
}

TEST(EditorQuit, ThePanelStaysWhileThePageIsBusyAndClosesOnceItIsNot) {
    QuickClosingPanel install;
    auto editor = install.startEditor();
    writeSolidPng(install.spool + "/input-1.png", 8, 8, {1, 2, 3, 255});
    auto panel = install.start(
        {install.spool + "/input-1.png", install.spool, std::to_string(editor->pid())},
        {"LUMIVO_PANEL_AUTOTEST=busy"});
    ASSERT_TRUE(panel->waitForLine(kLogPrefix + "probe busy on")) << panel->allOutput();
    ASSERT_TRUE(panel->waitForLine(kLogPrefix + "probe export first ok=true"))
        << panel->allOutput();

    ::kill(editor->pid(), SIGKILL);
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "probe editor-gone")) << panel->allOutput();
    // Three seconds later the page is done, and the panel was there to hear it.
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "probe busy off")) << panel->allOutput();
    EXPECT_EQ(panel->waitForExit(20s), 0) << panel->allOutput();
}

TEST(EditorQuit, AHandOffFromANewEditorIsServedAndTheFormerOnesQuitIgnored) {
    QuickClosingPanel install;
    auto first = install.startEditor();
    writeSolidPng(install.spool + "/input-1.png", 8, 8, {1, 2, 3, 255});
    auto panel = install.start(
        {install.spool + "/input-1.png", install.spool, std::to_string(first->pid())});
    ASSERT_TRUE(panel->waitForLine(kLogPrefix + "probe export first ok=true"))
        << panel->allOutput();

    auto second = install.startEditor();
    writeSolidPng(install.spool + "/input-2.png", 6, 5, {4, 5, 6, 255});
    ASSERT_TRUE(DbusSendNotifier().post({install.spool + "/input-2.png", false, second->pid()}));
    ASSERT_TRUE(panel->waitForLine(kLogPrefix + "probe export changed ok=true"))
        << panel->allOutput();

    ::kill(first->pid(), SIGKILL);
    // Ended by the panel if the former editor's quit were taken for the one it serves now.
    EXPECT_FALSE(panel->waitForExit(3s));
    ::kill(second->pid(), SIGKILL);
    EXPECT_TRUE(panel->waitForLine(kLogPrefix + "probe editor-gone [1]")) << panel->allOutput();
    EXPECT_EQ(panel->waitForExit(20s), 0) << panel->allOutput();
}

}  // namespace
