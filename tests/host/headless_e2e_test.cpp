// The real plug-in, loaded by the demo editor in headless mode, over a real spool directory.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>

#include "../plugin/recorder_panel.h"
#include "host/image_file.h"
#include "imaging/png.h"
#include "plugin/spool.h"

namespace fs = std::filesystem;

namespace {

const std::string kHost =
    std::string(LUMIVO_BINARY_DIR) + "/LumivoHost.app/Contents/Linux/lumivo-host";

class HeadlessHost : public ::testing::Test {
  protected:
    void SetUp() override {
        // The installed plug-in, with a stand-in panel in place of the real one.
        const std::string bundle = plugins + "/LumivoFilter.8bf";
        fs::create_directories(bundle + "/Contents/Linux");
        fs::copy_file(std::string(LUMIVO_BUNDLE_DIR) + "/Contents/Info.ini",
                      bundle + "/Contents/Info.ini");
        for (const char* file : {"LumivoFilter.so", "open"}) {
            fs::copy_file(std::string(LUMIVO_BUNDLE_DIR) + "/Contents/Linux/" + file,
                          bundle + "/Contents/Linux/" + file);
        }
        makeRecorderPanel(panel);

        Document document = makeDocument(32, 24, 3);
        for (uint32_t y = 0; y < 24; ++y) {
            for (size_t i = 0; i < 32 * 3; ++i) {
                document.row(y)[i] = uint8_t(y * 8 + i);
            }
        }
        ASSERT_TRUE(savePng(input, document));
        original = document;
        ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    }

    // Runs the editor once; returns what it printed.
    std::string runHost(const std::string& extra = "") {
        const std::string command = kHost + " --headless --plugins '" + plugins +
                                    "' --filter Lumivo --in '" + input + "' --out '" + output +
                                    "' " + extra;
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string printed;
        char buffer[256];
        while (pipe != nullptr && ::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            printed += buffer;
        }
        if (pipe != nullptr) {
            ::pclose(pipe);
        }
        return printed;
    }

    TempDir dir;
    const std::string plugins = dir / "plugins";
    const std::string panel = plugins + "/LumivoFilter.8bf/Contents/Resources/LumivoAffinity.app";
    const std::string data = dir / "data";
    const std::string spoolDir = data + "/Lumivo/affinity-8bf-spool/com.lumivo.demo-host";
    const std::string input = dir / "in.png";
    const std::string output = dir / "out.png";
    Document original;
};

}  // namespace

TEST_F(HeadlessHost, AFirstRunHandsTheImageToTheLaunchedPanelAndCancels) {
    EXPECT_EQ(runHost(), "filter result -128\n");
    std::optional<Document> result = openImage(output, false);
    ASSERT_TRUE(result);
    EXPECT_TRUE(samePixels(*result, original));

    std::vector<std::string> lines = awaitRecording(panel);
    ASSERT_EQ(lines.size(), 6u);
    std::vector<std::string> entries = entryNames(spoolDir);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].rfind("input-", 0), 0u);
    EXPECT_EQ(lines[0], spoolDir + "/" + entries[0]);
    EXPECT_EQ(lines[1], spoolDir);
    EXPECT_GT(std::stoi(lines[2]), 0);

    // The handed-off input is the document as it was, in sRGB.
    std::optional<std::vector<uint8_t>> bytes = spool::readWhole(lines[0]);
    ASSERT_TRUE(bytes);
    PixelBuffer handed = png::decode(bytes->data(), bytes->size());
    ASSERT_EQ(handed.width, 32u);
    EXPECT_EQ(handed.rgba[4 * 33], original.row(1)[3]);
}

TEST_F(HeadlessHost, AWaitingResultIsAppliedOnceAndRemoved) {
    spool::createDirectory(spoolDir);
    PixelBuffer colour{16, 12, {}};  // another size: cover-fitted to the area
    for (int i = 0; i < 16 * 12; ++i) {
        colour.rgba.insert(colour.rgba.end(), {10, 200, 30, 255});
    }
    std::vector<uint8_t> bytes = png::encode(colour);
    writeText(spoolDir + "/result-1.png", std::string(bytes.begin(), bytes.end()));

    EXPECT_EQ(runHost("--selection 4,2,20,10"), "filter result 0\n");
    std::optional<Document> result = openImage(output, false);
    ASSERT_TRUE(result);
    for (uint32_t y = 0; y < 24; ++y) {
        for (uint32_t x = 0; x < 32; ++x) {
            const bool inside = x >= 4 && x < 24 && y >= 2 && y < 12;
            const uint8_t* got = result->row(y) + x * 3;
            const uint8_t* was = original.row(y) + x * 3;
            if (inside) {
                EXPECT_EQ(got[0], 10);
                EXPECT_EQ(got[1], 200);
                EXPECT_EQ(got[2], 30);
            } else {
                EXPECT_EQ(std::memcmp(got, was, 3), 0) << x << "," << y;
            }
        }
    }
    // No panel runs: the applied image is not left behind as an input, the result is gone.
    EXPECT_TRUE(entryNames(spoolDir).empty());
    EXPECT_EQ(::access((panel + "/recorded").c_str(), F_OK), -1);

    // The next run finds nothing waiting.
    EXPECT_EQ(runHost("--transparency"), "filter result -128\n");
}

TEST_F(HeadlessHost, AGarbageResultFailsTheRunAndIsRemoved) {
    spool::createDirectory(spoolDir);
    writeText(spoolDir + "/result-1.png", "garbage");
    EXPECT_EQ(runHost(), "filter result -30100\n");
    EXPECT_TRUE(entryNames(spoolDir).empty());
    std::optional<Document> result = openImage(output, false);
    ASSERT_TRUE(result);
    EXPECT_TRUE(samePixels(*result, original));
}
