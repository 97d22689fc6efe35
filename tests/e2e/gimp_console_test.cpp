// The bridge inside a real GIMP without a window, driven by Script-Fu, in each GIMP the build
// has a bridge for: a greyscale image is refused with its reason, a hand-off is remembered for
// its image, a waiting result is refused for another image and then applied to its own, in
// the selection only and with its alpha, as one run each.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "e2e/road_output.h"
#include "imaging/png.h"
#include "lumivo_test_paths.h"
#include "platform/linux/editor_programs.h"
#include "plugin/spool.h"

namespace {

namespace fs = std::filesystem;

// Where a GIMP differs in Script-Fu.
struct Gimp {
    std::string version;  // its settings folder's name
    std::string console;  // the program
    std::string options;  // what makes it read Script-Fu from standard input
    std::string spoolId;  // the editor identifier the filter files its spool under
    std::string layerOf;  // (layer image) -> the image's only layer
    std::string filter;   // (filter image layer) runs the bridge
    std::string load;     // (load path) -> image
    std::string save;     // (save image path)
};

Gimp gimpFor(const std::string& editor) {
    if (editor == "gimp3") {
        return {"3.0",
                "gimp-console-3.0",
                "--batch-interpreter=plug-in-script-fu-eval -b -",
                kGimp3Identifier,
                "(define (layer image) (vector-ref (car (gimp-image-get-layers image)) 0))",
                "(define (filter image layer) (plug-in-lumivo #:run-mode RUN-NONINTERACTIVE "
                "#:image image #:drawables (vector layer)))",
                "(define (load path) (car (gimp-file-load RUN-NONINTERACTIVE path)))",
                "(define (save image path) (gimp-file-save RUN-NONINTERACTIVE image path -1))"};
    }
    return {"2.10",
            "gimp-console-2.10",
            "-b -",
            kGimpIdentifier,
            "(define (layer image) (vector-ref (cadr (gimp-image-get-layers image)) 0))",
            "(define (filter image layer) (plug-in-lumivo RUN-NONINTERACTIVE image layer))",
            "(define (load path) (car (gimp-file-load RUN-NONINTERACTIVE path path)))",
            "(define (save image path) (file-png-save2 RUN-NONINTERACTIVE image (layer image) "
            "path path 0 9 0 0 0 0 0 0 0))"};
}

constexpr int kLeft = 8, kTop = 8, kWidth = 16, kHeight = 12;
constexpr uint8_t kResult[4] = {0, 128, 255, 128};

PixelBuffer photo() {
    PixelBuffer image{64, 48, std::vector<uint8_t>(64 * 48 * 4)};
    for (uint32_t i = 0; i < 64 * 48; ++i) {
        image.rgba[i * 4] = static_cast<uint8_t>(i % 64 * 4);
        image.rgba[i * 4 + 1] = static_cast<uint8_t>(i / 64 * 5);
        image.rgba[i * 4 + 2] = 90;
        image.rgba[i * 4 + 3] = 255;
    }
    return image;
}

void writePng(const fs::path& path, const PixelBuffer& image) {
    const std::vector<uint8_t> bytes = png::encode(image);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

class GimpConsoleTest : public ::testing::TestWithParam<std::string> {};

TEST_P(GimpConsoleTest, TheBridgeRefusesHandsOffGuardsAndAppliesInTheSelection) {
    const Gimp gimp = gimpFor(GetParam());
    const fs::path out = fs::path(LUMIVO_BINARY_DIR) / ("gimp-console-" + GetParam() + "-e2e");
    fs::remove_all(out);
    const fs::path home = out / "home";
    fs::create_directories(home);
    // GIMP's settings, the bridge and the spool: the test's own.
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
    const fs::path plugins = home / ".config/GIMP" / gimp.version / "plug-ins/lumivo";
    ASSERT_EQ(std::system(("bash " + std::string(LUMIVO_SOURCE_DIR) + "/gimp/install.sh " +
                           "--no-build --gimp " + gimp.version + " --build " + LUMIVO_BINARY_DIR +
                           " --dest " + plugins.string() + " >/dev/null")
                              .c_str()),
              0);
    const std::string spoolDirectory = spool::directoryFor(gimp.spoolId);
    spool::createDirectory(spoolDirectory);

    const PixelBuffer before = photo();
    writePng(out / "a.png", before);
    PixelBuffer result{32, 24, {}};
    for (int i = 0; i < 32 * 24; ++i) {
        result.rgba.insert(result.rgba.end(), kResult, kResult + 4);
    }
    writePng(out / "result.png", result);

    // The panel's result appears in the spool between the runs, as the panel writes it.
    const std::string a = (out / "a.png").string();
    std::ofstream(out / "script.scm")
        << gimp.layerOf << "\n"
        << gimp.filter << "\n"
        << gimp.load << "\n"
        << gimp.save << "\n"
        << "(define a (load \"" << a << "\"))\n"
        << "(define b (load \"" << a << "\"))\n"
        << "(define g (load \"" << a << "\"))\n"
        << "(gimp-image-convert-grayscale g)\n"
        << "(define (select image) (gimp-image-select-rectangle image CHANNEL-OP-REPLACE " << kLeft
        << " " << kTop << " " << kWidth << " " << kHeight << "))\n"
        << "(select a)\n(select b)\n"
        << "(define (lumivo image) (catch #f (filter image (layer image))))\n"
        << "(lumivo g)\n"
        << "(lumivo a)\n"
        << "(save (load \"" << (out / "result.png").string() << "\") \"" << spoolDirectory
        << "/result-1.png\")\n"
        << "(lumivo b)\n"
        << "(lumivo a)\n"
        << "(save a \"" << (out / "after.png").string() << "\")\n"
        << "(gimp-quit 1)\n";
    // No display and no session bus: the panel the hand-off starts ends at once.
    const std::string command =
        "cd '" + out.string() +
        "' && env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS LUMIVO_BRIDGE_TRACE=1 "
        "timeout 300 " +
        gimp.console + " -i " + gimp.options + " <script.scm >gimp.log 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << "see " << out / "gimp.log";

    const std::string log = readText(out / "gimp.log");
    EXPECT_NE(log.find("8-bit RGB"), std::string::npos) << log;
    const size_t handOff = log.find("filter result -128");
    ASSERT_NE(handOff, std::string::npos) << log;
    const size_t refused = log.find("another image", handOff);
    ASSERT_NE(refused, std::string::npos) << log;
    const size_t applied = log.find("filter result 0", refused);
    ASSERT_NE(applied, std::string::npos) << log;
    EXPECT_EQ(log.find("filter result", applied + 1), std::string::npos) << "one run each";
    EXPECT_FALSE(fs::exists(spoolDirectory + "/result-1.png")) << "the result was used";

    const PixelBuffer after = readPng(out / "after.png");
    ASSERT_EQ(after.width, before.width);
    ASSERT_EQ(after.height, before.height);
    size_t wrong = 0;
    for (uint32_t y = 0; y < after.height; ++y) {
        for (uint32_t x = 0; x < after.width; ++x) {
            const bool inside = int(x) >= kLeft && int(x) < kLeft + kWidth && int(y) >= kTop &&
                                int(y) < kTop + kHeight;
            const uint8_t* expected =
                inside ? kResult : &before.rgba[(size_t{y} * before.width + x) * 4];
            const uint8_t* pixel = &after.rgba[(size_t{y} * after.width + x) * 4];
            for (int c = 0; c < 4; ++c) {
                wrong += std::abs(int{pixel[c]} - int{expected[c]}) > 1;
            }
        }
    }
    EXPECT_EQ(wrong, 0u) << "the result in the selection, alpha included, and nothing outside";
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(GimpConsoleTest);
INSTANTIATE_TEST_SUITE_P(Gimp, GimpConsoleTest, ::testing::ValuesIn(gimpEditors()),
                         [](const auto& editor) { return editor.param; });

}  // namespace
