#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/png.h"
#include "lumivo_test_paths.h"
#include "panel_process.h"
#include "plugin/temp_dir.h"

// A panel installed for one test, and what the tests write for it. Test thread only.

inline const std::string kLogPrefix = "LumivoPlugin: panel: ";

inline void writeSolidPng(const std::string& path, uint32_t width, uint32_t height,
                          std::array<uint8_t, 4> rgba) {
    PixelBuffer image{width, height, {}};
    for (size_t i = 0; i < size_t{width} * height; ++i) {
        image.rgba.insert(image.rgba.end(), rgba.begin(), rgba.end());
    }
    std::vector<uint8_t> bytes = png::encode(image);
    ASSERT_FALSE(bytes.empty());
    writeText(path, std::string(bytes.begin(), bytes.end()));
}

inline std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A copy of the panel bundle as a user install lays it out, with a page of the test's choice
// (or none), and a spool directory under the spool root of the panel's data home.
struct PanelInstall {
    // Where the panel runs: itself, or a command that runs it (the command line follows).
    std::vector<std::string> launcher;

    TempDir temp;
    std::string bundle = temp / "LumivoAffinity.app";
    std::string executable = bundle + "/Contents/Linux/LumivoAffinity";
    std::string spool = temp / "Lumivo/affinity-8bf-spool/com.example.host";

    explicit PanelInstall(std::optional<std::string> pageSource) {
        const std::string built =
            std::string(LUMIVO_BUNDLE_DIR) + "/Contents/Resources/LumivoAffinity.app";
        std::filesystem::create_directories(bundle + "/Contents/Linux");
        std::filesystem::copy_file(built + "/Contents/Info.ini", bundle + "/Contents/Info.ini");
        std::filesystem::copy_file(built + "/Contents/Linux/LumivoAffinity", executable);
        if (pageSource) {
            writeText(bundle + "/Contents/Resources/panel/index.html", readText(*pageSource));
        }
        std::filesystem::create_directories(spool);
    }

    std::unique_ptr<PanelProcess> start(const std::vector<std::string>& arguments,
                                        std::vector<std::string> environment = {}) {
        environment.push_back("XDG_DATA_HOME=" + temp.path());
        // The panel's settings (where its window was left, for one) are the test's own too.
        environment.push_back("XDG_CONFIG_HOME=" + temp / "config");
        if (launcher.empty()) {
            return std::make_unique<PanelProcess>(executable, arguments, environment);
        }
        std::vector<std::string> command(launcher.begin() + 1, launcher.end());
        command.push_back(executable);
        command.insert(command.end(), arguments.begin(), arguments.end());
        return std::make_unique<PanelProcess>(launcher.front(), command, environment);
    }
};

inline const std::string kProbePage =
    std::string(LUMIVO_SOURCE_DIR) + "/tests/panel/probe_page.html";
