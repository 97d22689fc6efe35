// Runs scripts/round-trip.sh --offline headless and checks what it left behind with the system's
// own decoder: the document after the round trip holds the inverted photo, the editor ran the
// filter twice (hand-off, then apply), and the page was told the result was applied.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "e2e/road_output.h"
#include "imaging/png.h"

namespace {

TEST(RoundTripTest, AnEditMadeInThePageEndsUpInTheDocument) {
    const std::string out = std::string(LUMIVO_BINARY_DIR) + "/round-trip-e2e";
    std::filesystem::remove_all(out);
    const std::string command = std::string("bash ") + LUMIVO_SOURCE_DIR +
                                "/scripts/round-trip.sh --offline --headless --no-build --build " +
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

    const std::string host = readText(out + "/host.log");
    const size_t handOff = host.find("filter result -128");
    EXPECT_NE(handOff, std::string::npos) << host;
    EXPECT_NE(host.find("filter result 0", handOff), std::string::npos) << host;
    EXPECT_NE(
        readText(out + "/panel.log").find("LumivoPlugin: panel: import-ack ok=true status=\n"),
        std::string::npos);
}

}  // namespace
