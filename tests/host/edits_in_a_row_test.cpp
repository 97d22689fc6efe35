// The filter's own run inside the demo editor's driver, with the panel played by the test: many
// edits in a row land, whatever the document's planes, profile and selection.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_clock.h"
#include "fakes/fake_panel_launcher.h"
#include "fakes/fake_running_apps.h"
#include "fakes/fake_send_notifier.h"
#include "host/filter_driver.h"
#include "imaging/png.h"
#include "imaging/test_images.h"
#include "plugin/filter_invoke.h"
#include "plugin/filter_start.h"
#include "plugin/marked_png.h"
#include "plugin/panel_handoff.h"
#include "plugin/picture_mark.h"
#include "plugin/temp_dir.h"

namespace {

// The plug-in's run, bound to the test's spool and panel.
FilterRun* gRun = nullptr;
void pluginMain(int16 selector, FilterRecord* record, intptr_t*, int16* result) {
    *result = answerSelector(selector, *record, *gRun);
}

// The page's look: every colour turned, alpha kept.
PixelBuffer look(PixelBuffer image, int edit) {
    for (size_t i = 0; i < image.rgba.size(); ++i) {
        if (i % 4 != 3) {
            image.rgba[i] = uint8_t(image.rgba[i] * 3 + 41 * edit + 7);
        }
    }
    return image;
}

class EditsInARow : public ::testing::Test {
  protected:
    EditsInARow() {
        std::filesystem::create_directories(enclosedPanel);
        apps.apps.push_back({777, enclosedPanel, spool::kPanelBundleIdentifier});
        context.spoolDirectory = spoolDir;
        context.wallSeconds = [this] { return now += 0.01; };
        context.reportFailure = [this](const std::string& reason) { reasons.push_back(reason); };
        context.handOff = [this](const spool::Directory& directory, std::vector<uint8_t> file,
                                 const PictureMark& mark, bool activate) {
            return sendInputToPanel(directory, std::move(file), mark, activate, ports);
        };
        run = [this](PixelBuffer input, const PictureMark& mark, const HostWrite& write) {
            return filterInvoke(std::move(input), mark, write, context);
        };
        gRun = &run;
    }
    ~EditsInARow() override { gRun = nullptr; }

    // The panel takes the input it was told of, as its intake does, and writes the page's look
    // of it as a result with the mark the input carried.
    void answerLastInput(int edit) {
        ASSERT_FALSE(notifier.posted.empty());
        const std::string path = notifier.posted.back().input;
        notifier.posted.clear();
        std::optional<std::vector<uint8_t>> bytes = spool::readWhole(path);
        std::filesystem::remove(path);
        ASSERT_TRUE(bytes);
        const std::optional<PictureMark> mark = markIn(*bytes);
        ASSERT_TRUE(mark) << "the panel knows which picture it shows";
        const std::vector<uint8_t> result =
            markedPng(png::encode(look(png::decode(bytes->data(), bytes->size()), edit)), *mark);
        ASSERT_TRUE(spool::writeAtomically(openSpool(spoolDir),
                                           spool::fileName(spool::kResultPrefix, now += 0.01),
                                           result.data(), result.size()));
    }

    TempDir temp;
    const std::string spoolDir = makeSpoolDirectory(temp, "com.lumivo.demo-host");
    const std::string enclosedPanel =
        temp / "LumivoFilter.8bf/Contents/Resources/LumivoAffinity.app";
    double now = 1700000000.0;
    FakeRunningApps apps;
    FakeSendNotifier notifier;
    FakePanelLauncher launcher;
    FakeClock clock;
    std::vector<std::string> reasons;
    HandoffPorts ports{.apps = apps,
                       .notifier = notifier,
                       .launcher = launcher,
                       .clock = clock,
                       .wallSeconds = [this] { return now += 0.01; },
                       .enclosedPanelPath = enclosedPanel,
                       .launcherPath = "/nonexistent/open",
                       .hostPid = 4321,
                       .reportFailure = {}};
    FilterRunContext context;
    FilterRun run;
};

}  // namespace

TEST_F(EditsInARow, EachResultLandsInTheDocumentItsPictureCameFrom) {
    // A wide-gamut profile, so the colours really change on the way to sRGB and back.
    const std::vector<uint8_t> profile = testimg::adobeRgbProfile();
    const struct {
        const char* name;
        int channels;
        std::optional<Selection> selection;
    } cases[] = {
        {"flat", 3, std::nullopt},
        {"transparent layer", 4, std::nullopt},
        {"flat, a selection", 3, Selection{5, 3, 17, 11}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Document document = makeDocument(31, 23, c.channels);
        for (uint32_t y = 0; y < document.height; ++y) {
            for (uint32_t i = 0; i < document.width * uint32_t(c.channels); ++i) {
                document.row(y)[i] = uint8_t(y * 13 + i * 7 + 1);
            }
        }
        document.iccProfile = profile;

        // The first run hands the picture off; each result then comes back made from the
        // picture the panel was last given (the applied one, in sRGB), and lands.
        ASSERT_EQ(runFilter(&pluginMain, document, c.selection), userCanceledErr);
        for (int edit = 1; edit <= 4; ++edit) {
            SCOPED_TRACE(edit);
            answerLastInput(edit);
            FilterRunWatch watch;
            ASSERT_EQ(runFilter(&pluginMain, document, c.selection, &watch), noErr);
            EXPECT_TRUE(watch.changed);
        }
        EXPECT_TRUE(reasons.empty());
        notifier.posted.clear();
        std::filesystem::remove_all(spoolDir);
    }
}
