// The lanes in the real panel and web engine, used by the tests' own page from the service's
// origin: the preview, the refusals the page may read, and looks the panel applies.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "imaging/png.h"
#include "panel_install.h"
#include "plugin/spool.h"

namespace {

using namespace std::chrono_literals;

TEST(PanelLanes, TheServicePageGetsItsPreviewReadsItsRefusalsAndHasLooksApplied) {
    PanelInstall install(kProbePage);
    writeSolidPng(install.spool + "/input-1.png", 5, 4, {10, 20, 30, 255});
    // No editor runs: the result is written and becomes the frame; the press can't follow.
    auto panel = install.start({install.spool + "/input-1.png", install.spool},
                               {"LUMIVO_PANEL_AUTOTEST=lanes"});
    EXPECT_TRUE(panel->waitForLine("probe lanes lanes-1 base")) << panel->allOutput();
    EXPECT_TRUE(
        panel->waitForLine("probe preview status=200 size=2x2 frame=1 bytes=16 px=10,20,30,255"))
        << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe stale key status=403")) << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe post status=405")) << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe too wide status=400")) << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe no such lane status=404")) << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe import look-gone ok=false status=\"frame-changed\""))
        << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe import look-bad ok=false status=\"\""))
        << panel->allOutput();
    EXPECT_TRUE(panel->waitForLine("probe import look-1 ok=true status=")) << panel->allOutput();
    // The look of the whole frame, as the page describes it, is the result file.
    const std::vector<std::string> files = entryNames(install.spool);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].rfind(spool::kResultPrefix, 0), 0u) << files[0];
    const std::string bytes = readText(install.spool + "/" + files[0]);
    const PixelBuffer result =
        png::decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_EQ(result.width, 5u);
    ASSERT_EQ(result.height, 4u);
    for (size_t i = 0; i < result.rgba.size(); i += 4) {
        EXPECT_EQ(std::vector<uint8_t>(result.rgba.begin() + i, result.rgba.begin() + i + 4),
                  (std::vector<uint8_t>{245, 235, 225, 255}));
    }
    // It became the frame, and the page heard of it.
    EXPECT_TRUE(
        panel->waitForLine("probe changed {\"width\":5,\"height\":4,\"editor\":"
                           "\"com.example.host\",\"arrival\":\"result\"}"))
        << panel->allOutput();
}

}  // namespace
