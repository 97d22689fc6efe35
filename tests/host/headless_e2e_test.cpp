// The real plug-in, loaded by the demo editor in headless mode, over a real spool directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../plugin/marked_png.h"
#include "../plugin/recorder_panel.h"
#include "host/image_file.h"
#include "imaging/png.h"
#include "lumivo_test_paths.h"
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

    // Runs the editor once over `document`; returns what it printed. What it wrote to its
    // error stream is kept in `errors`.
    std::string runHost(const std::string& extra = "") { return runHostOn(input, extra); }
    std::string runHostOn(const std::string& document, const std::string& extra = "") {
        const std::string command = kHost + " --headless --plugins '" + plugins +
                                    "' --filter Lumivo --in '" + document + "' --out '" + output +
                                    "' " + extra + " 2>'" + errorsPath + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string printed;
        char buffer[256];
        while (pipe != nullptr && ::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            printed += buffer;
        }
        if (pipe != nullptr) {
            ::pclose(pipe);
        }
        std::ifstream errorStream(errorsPath);
        errors.assign(std::istreambuf_iterator<char>(errorStream), {});
        return printed;
    }

    // What the editor's document holds after its last run.
    Document saved() const { return openImage(output, false).value_or(Document{}); }

    // The input files in the spool directory.
    std::vector<std::string> inputs() const {
        std::vector<std::string> found;
        for (const std::string& name : entryNames(spoolDir)) {
            if (name.rfind(spool::kInputPrefix, 0) == 0) {
                found.push_back(spoolDir + "/" + name);
            }
        }
        return found;
    }

    // Writes a result file as the panel does: the page's PNG with the mark of the picture the
    // page made it from, when there is one.
    void writeResult(const std::string& name, const PixelBuffer& image,
                     const std::optional<PictureMark>& mark) {
        std::vector<uint8_t> bytes = png::encode(image);
        if (mark) {
            bytes = markedPng(bytes, *mark);
        }
        writeText(spoolDir + "/" + name, std::string(bytes.begin(), bytes.end()));
    }

    TempDir dir;
    const std::string plugins = dir / "plugins";
    const std::string panel = plugins + "/LumivoFilter.8bf/Contents/Resources/LumivoAffinity.app";
    const std::string data = dir / "data";
    const std::string spoolDir = data + "/Lumivo/affinity-8bf-spool/com.lumivo.demo-host";
    const std::string input = dir / "in.png";
    const std::string output = dir / "out.png";
    const std::string errorsPath = dir / "errors.txt";
    std::string errors;
    Document original;
};

// A uniform picture of the given size and colour.
PixelBuffer uniform(uint32_t width, uint32_t height, std::array<uint8_t, 4> rgba) {
    PixelBuffer image{width, height, {}};
    for (uint32_t i = 0; i < width * height; ++i) {
        image.rgba.insert(image.rgba.end(), rgba.begin(), rgba.end());
    }
    return image;
}

// The mark an input file carries, as the panel reads it.
std::optional<PictureMark> markOf(const std::string& path) {
    return markIn(spool::readWhole(path).value_or(std::vector<uint8_t>{}));
}

bool allPixelsAre(const Document& document, std::array<uint8_t, 3> rgb) {
    for (uint32_t y = 0; y < document.height; ++y) {
        for (uint32_t x = 0; x < document.width; ++x) {
            if (std::memcmp(document.row(y) + x * 3, rgb.data(), 3) != 0) {
                return false;
            }
        }
    }
    return !document.empty();
}

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
    writeResult("result-1.png", colour, std::nullopt);  // a panel that marks nothing

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

TEST_F(HeadlessHost, AWaitingResultGoesOnlyIntoTheDocumentItWasMadeFrom) {
    // Document A goes to the panel, and a result made from it waits: the panel could not press
    // the menu item, or the editor was closed and opened again since.
    EXPECT_EQ(runHost(), "filter result -128\n");
    ASSERT_EQ(inputs().size(), 1u);
    const std::optional<PictureMark> markA = markOf(inputs()[0]);
    writeResult("result-1.png", uniform(16, 12, {10, 200, 30, 255}), markA);

    // The filter runs in document B: B stays as it was and goes to the panel itself; the result
    // stays for A.
    Document documentB = makeDocument(32, 24, 3);
    std::fill(documentB.pixels.begin(), documentB.pixels.end(), 90);
    const std::string inputB = dir / "b.png";
    ASSERT_TRUE(savePng(inputB, documentB));
    EXPECT_EQ(runHostOn(inputB), "filter result -128\n");
    EXPECT_TRUE(samePixels(saved(), documentB));
    EXPECT_TRUE(fs::exists(spoolDir + "/result-1.png"));
    ASSERT_EQ(inputs().size(), 1u) << "A's input, which no panel took, made way for B's";
    std::optional<std::vector<uint8_t>> handed = spool::readWhole(inputs()[0]);
    ASSERT_TRUE(handed);
    EXPECT_EQ(png::decode(handed->data(), handed->size()).rgba[0], 90);
    EXPECT_NE(markOf(inputs()[0]), markA);

    // Back in A, the result lands, once.
    EXPECT_EQ(runHost(), "filter result 0\n");
    EXPECT_TRUE(allPixelsAre(saved(), {10, 200, 30}));
    EXPECT_FALSE(fs::exists(spoolDir + "/result-1.png"));
    ASSERT_TRUE(markA) << "the input said which picture it showed";
}

TEST_F(HeadlessHost, AResultMadeFromAnEarlierStateOfThePictureIsNotApplied) {
    EXPECT_EQ(runHost(), "filter result -128\n");
    ASSERT_EQ(inputs().size(), 1u);
    const std::optional<PictureMark> before = markOf(inputs()[0]);
    writeResult("result-1.png", uniform(16, 12, {10, 200, 30, 255}), before);

    // The user went on editing the picture before the result came back.
    Document edited = original;
    edited.row(5)[7] ^= 0xFF;
    ASSERT_TRUE(savePng(input, edited));
    EXPECT_EQ(runHost(), "filter result -128\n");
    EXPECT_TRUE(samePixels(saved(), edited)) << "nothing overwritten unseen";
    EXPECT_TRUE(fs::exists(spoolDir + "/result-1.png"));

    // The panel now shows the edited picture; the page applies its result to that one.
    ASSERT_EQ(inputs().size(), 1u);
    const std::optional<PictureMark> after = markOf(inputs()[0]);
    ASSERT_TRUE(after);
    EXPECT_NE(after, before);
    writeResult("result-2.png", uniform(16, 12, {10, 200, 30, 255}), after);
    const timespec later[2] = {{2000000000, 0}, {2000000000, 0}};
    ::utimensat(AT_FDCWD, (spoolDir + "/result-2.png").c_str(), later, 0);
    EXPECT_EQ(runHost(), "filter result 0\n");
    EXPECT_TRUE(allPixelsAre(saved(), {10, 200, 30}));
}

TEST_F(HeadlessHost, AResultThatCantBeRemovedIsNeverAppliedAndTheRunSaysWhy) {
    spool::createDirectory(spoolDir);
    writeResult("result-1.png", uniform(16, 12, {10, 200, 30, 255}), std::nullopt);
    ReadOnlyDirectory readOnly(spoolDir);
    if (!readOnly.made()) {
        GTEST_SKIP() << "this file system can't make the spool read-only for this user";
    }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        EXPECT_EQ(runHost(), "filter result -30100\n");
        EXPECT_TRUE(samePixels(saved(), original)) << "applied once, it would be applied forever";
        EXPECT_NE(errors.find("can't be removed"), std::string::npos) << errors;
    }
    // Once the spool can be written again, the result is applied, and only then removed.
    readOnly.restore();
    EXPECT_EQ(runHost(), "filter result 0\n");
    EXPECT_TRUE(allPixelsAre(saved(), {10, 200, 30}));
    EXPECT_TRUE(entryNames(spoolDir).empty());
}

TEST_F(HeadlessHost, InputsThatNoPanelTookDoNotPileUp) {
    // The stand-in panel starts and ends without taking its input, as a panel that can't open
    // its window does.
    std::vector<std::string> before;
    for (int run = 0; run < 50; ++run) {
        before = inputs();
        ASSERT_EQ(runHost(), "filter result -128\n") << run;
    }
    const std::vector<std::string> left = inputs();
    ASSERT_EQ(left.size(), 1u);
    ASSERT_EQ(before.size(), 1u);
    EXPECT_NE(left[0], before[0]) << "the newest is the one kept";
}
