// Runs scripts/round-trip.sh --offline headless, in the demo editor and in GIMP, and checks
// what it left behind with the system's own decoder: the document after the round trip holds
// the inverted photo, the editor ran the filter twice (hand-off, then apply), and the page was
// told the result was applied.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e/road_output.h"
#include "imaging/png.h"

namespace {

// What an editor's log shows of the filter's two runs.
struct EditorLog {
    std::string file;
    std::string handOff;
    std::string applied;  // "" when the apply says nothing
};

// Runs the road with `arguments` into a fresh output folder and checks what it left there:
// after.png holds the inverted before.png, the editor's log shows the filter's hand-off and
// then its apply, and the page was told the result was applied.
void expectInvertedByTwoRuns(const std::string& arguments, const std::string& outName,
                             const EditorLog& editorLog) {
    const std::string out = std::string(LUMIVO_BINARY_DIR) + "/" + outName;
    std::filesystem::remove_all(out);
    const std::string command = std::string("bash ") + LUMIVO_SOURCE_DIR +
                                "/scripts/round-trip.sh " + arguments + " --no-build --build " +
                                LUMIVO_BINARY_DIR + " --out " + out;
    ASSERT_EQ(std::system(command.c_str()), 0) << "see " << out;

    const PixelBuffer before = readPng(out + "/before.png");
    const PixelBuffer after = readPng(out + "/after.png");
    ASSERT_FALSE(before.empty());
    ASSERT_EQ(after.width, before.width);
    ASSERT_EQ(after.height, before.height);
    size_t wrong = 0;
    for (size_t i = 0; i < before.rgba.size(); i += 4) {
        for (size_t c = 0; c < 3; ++c) {
            if (std::abs(int{after.rgba[i + c]} - (255 - int{before.rgba[i + c]})) > 1) {
                ++wrong;
                break;
            }
        }
    }
    EXPECT_EQ(wrong, 0u) << "pixels that are not the inverted photo";

    const std::string host = readText(out + "/" + editorLog.file);
    const size_t handOff = host.find(editorLog.handOff);
    EXPECT_NE(handOff, std::string::npos) << host;
    if (!editorLog.applied.empty()) {
        EXPECT_NE(host.find(editorLog.applied, handOff), std::string::npos) << host;
    }
    EXPECT_NE(
        readText(out + "/panel.log").find("LumivoPlugin: panel: import-ack ok=true status=\n"),
        std::string::npos);
}

TEST(RoundTripTest, AnEditMadeInThePageEndsUpInTheDocument) {
    expectInvertedByTwoRuns("--offline --headless", "round-trip-e2e",
                            {"host.log", "filter result -128", "filter result 0"});
}

// The same road inside GIMP 2.10 through the bridge; GIMP exports the image at the end. The
// bridge prints nothing on GIMP's terminal: its one message of the road reaches the log as
// GIMP's console message, and the export shows the apply.
TEST(RoundTripTest, AnEditMadeInThePageEndsUpInGimpsImage) {
    expectInvertedByTwoRuns(
        "--editor gimp", "round-trip-gimp-e2e",
        {"gimp.log", "Lumivo-Warning: Lumivo: the picture went to the panel", ""});
    const std::string log =
        readText(std::string(LUMIVO_BINARY_DIR) + "/round-trip-gimp-e2e/gimp.log");
    EXPECT_EQ(log.find("filter result"), std::string::npos) << log;
}

}  // namespace
