// Runs scripts/round-trip.sh --offline headless, in the demo editor and in each GIMP, and checks
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
#include "lumivo_test_paths.h"

namespace {

// Runs the road with `arguments` into a fresh output folder and checks what it left there:
// after.png holds the inverted before.png, `editorLog` shows the filter's hand-off and then
// its apply, and the page was told the result was applied.
void expectInvertedByTwoRuns(const std::string& arguments, const std::string& outName,
                             const std::string& editorLog) {
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

    const std::string host = readText(out + "/" + editorLog);
    const size_t handOff = host.find("filter result -128");
    EXPECT_NE(handOff, std::string::npos) << host;
    EXPECT_NE(host.find("filter result 0", handOff), std::string::npos) << host;
    EXPECT_NE(
        readText(out + "/panel.log").find("LumivoPlugin: panel: import-ack ok=true status=\n"),
        std::string::npos);
}

TEST(RoundTripTest, AnEditMadeInThePageEndsUpInTheDocument) {
    expectInvertedByTwoRuns("--offline --headless", "round-trip-e2e", "host.log");
}

// The same road inside each GIMP this build has a bridge for (--editor gimp, gimp3); GIMP
// exports the image at the end.
class GimpRoundTripTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GimpRoundTripTest, AnEditMadeInThePageEndsUpInGimpsImage) {
    expectInvertedByTwoRuns("--editor " + GetParam() + " --offline",
                            "round-trip-" + GetParam() + "-e2e", "gimp.log");
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GimpRoundTripTest);
INSTANTIATE_TEST_SUITE_P(Gimp, GimpRoundTripTest, ::testing::ValuesIn(gimpEditors()),
                         [](const auto& editor) { return editor.param; });

}  // namespace
