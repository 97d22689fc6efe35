// One run of the GIMP bridge against an editor made of plain data and a filter that lives in
// the test.
#include "gimp/bridge_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "gimp/atk_bridge_check.h"
#include "imaging/png.h"
#include "plugin/host_mark.h"
#include "plugin/marked_png.h"
#include "plugin/spool.h"
#include "plugin/temp_dir.h"

namespace {

// The filter: answers `startAnswer` without touching anything, or (0) inverts the area.
int16 startAnswer = noErr;
int filterCalls = 0;
int16 seenFilterCase = 0;
std::vector<uint8_t> seenProfile;

void invertingFilter(int16 selector, FilterRecord* record, intptr_t*, int16* result) {
    *result = noErr;
    if (selector != filterSelectorStart) {
        return;
    }
    ++filterCalls;
    seenFilterCase = record->filterCase;
    if (record->canUseICCProfiles && record->iCCprofileData) {
        Ptr bytes = record->handleProcs->lockProc(record->iCCprofileData, false);
        seenProfile.assign(bytes, bytes + record->iCCprofileSize);
    }
    if (startAnswer != noErr) {
        *result = startAnswer;
        return;
    }
    record->inRect = record->outRect = record->filterRect;
    record->inHiPlane = record->outHiPlane = static_cast<int16>(record->planes - 1);
    if ((*result = record->advanceState()) != noErr) {
        return;
    }
    const int width = record->filterRect.right - record->filterRect.left;
    for (int y = 0; y < record->filterRect.bottom - record->filterRect.top; ++y) {
        auto* in = static_cast<uint8_t*>(record->inData) + y * record->inRowBytes;
        auto* out = static_cast<uint8_t*>(record->outData) + y * record->outRowBytes;
        for (int i = 0; i < width * record->planes; ++i) {
            out[i] = static_cast<uint8_t>(255 - in[i]);
        }
    }
    record->inRect = record->outRect = Rect{0, 0, 0, 0};
}

// The editor: one layer area's pixels, tightly packed, and what the run did to it.
struct FakeEditor final : BridgeHost {
    BridgeTarget layer;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> profile;
    bool readFails = false;
    bool writeFails = false;
    int reads = 0;
    int writes = 0;
    std::vector<std::string> messages;
    std::optional<LayerArea> record;
    bool onBus = true;

    BridgeTarget target() override { return layer; }
    bool readArea(const BridgeTarget&, Document& document) override {
        ++reads;
        const size_t rowBytes = size_t(layer.area.width) * size_t(layer.channels);
        for (uint32_t y = 0; y < document.height && !readFails; ++y) {
            std::copy_n(pixels.data() + rowBytes * y, rowBytes, document.row(y));
        }
        document.iccProfile = profile;
        return !readFails;
    }
    bool writeArea(const BridgeTarget&, const Document& document) override {
        ++writes;
        const size_t rowBytes = size_t(layer.area.width) * size_t(layer.channels);
        for (uint32_t y = 0; y < document.height && !writeFails; ++y) {
            std::copy_n(document.row(y), rowBytes, pixels.data() + rowBytes * y);
        }
        return !writeFails;
    }
    void tell(const std::string& message) override { messages.push_back(message); }
    std::optional<LayerArea> lastHandoff() override { return record; }
    void rememberHandoff(const LayerArea& r) override { record = r; }
    bool onAccessibilityBus() override { return onBus; }
};

class BridgeRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        startAnswer = noErr;
        filterCalls = 0;
        seenFilterCase = 0;
        seenProfile.clear();
        editor.layer = BridgeTarget{LayerArea{7, 8, 10, 20, 4, 3}, false, false, true, 4};
        for (int i = 0; i < 4 * 3 * 4; ++i) {
            editor.pixels.push_back(static_cast<uint8_t>(i * 5));
        }
        original = editor.pixels;
    }

    BridgeResult run() {
        return runBridge(editor, &invertingFilter, "Lumivo", spoolDir, spool::nowSeconds());
    }

    // A result file in the spool directory, modified `age` seconds ago.
    std::string waitingResult(double age) {
        const std::string path = spoolDir + "/result-1.png";
        writeText(path, "png");
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() -
                                                   std::chrono::seconds(int64_t(age)));
        return path;
    }

    bool inverted() const {
        for (size_t i = 0; i < original.size(); ++i) {
            if (editor.pixels[i] != 255 - original[i]) {
                return false;
            }
        }
        return true;
    }

    TempDir temp;
    const std::string spoolDir = makeSpoolDirectory(temp);
    FakeEditor editor;
    std::vector<uint8_t> original;
};

}  // namespace

TEST_F(BridgeRunTest, WhatTheFilterCantTakeIsRefusedWithAReasonAndLeftAlone) {
    struct Case {
        const char* label;
        void (*change)(BridgeTarget&);
        const char* reason;
    };
    const Case cases[] = {
        {"indexed, grey or high precision", [](BridgeTarget& t) { t.isRgb8 = false; }, "8-bit RGB"},
        {"two channels", [](BridgeTarget& t) { t.channels = 2; }, "8-bit RGB"},
        {"a layer group", [](BridgeTarget& t) { t.isGroup = true; }, "layer group"},
        {"several layers", [](BridgeTarget& t) { t.severalLayers = true; }, "one layer at a time"},
        {"selection off the layer", [](BridgeTarget& t) { t.area.width = t.area.height = 0; },
         "does not cover"},
        {"too wide for the record", [](BridgeTarget& t) { t.area.width = 30001; }, "30000"},
    };
    const BridgeTarget usable = editor.layer;
    for (const Case& c : cases) {
        editor.layer = usable;
        editor.messages.clear();
        c.change(editor.layer);
        EXPECT_EQ(run().outcome, BridgeOutcome::kRefused) << c.label;
        ASSERT_EQ(editor.messages.size(), 1u) << c.label;
        EXPECT_NE(editor.messages[0].find(c.reason), std::string::npos) << editor.messages[0];
    }
    EXPECT_EQ(editor.reads + editor.writes + filterCalls, 0);
    EXPECT_FALSE(editor.record);
}

TEST_F(BridgeRunTest, AnAppliedResultIsWrittenBackSilentlyWithTheProfileAndFilterCase) {
    struct Case {
        int channels;
        bool hasSelection;
        int16 filterCase;
    };
    for (Case c : {Case{4, false, filterCaseEditableTransparencyNoSelection},
                   Case{4, true, filterCaseEditableTransparencyWithSelection},
                   Case{3, false, filterCaseFlatImageNoSelection},
                   Case{3, true, filterCaseFlatImageWithSelection}}) {
        editor.layer.channels = c.channels;
        editor.layer.hasSelection = c.hasSelection;
        editor.profile = {1, 2, 3};
        editor.pixels = original;
        const BridgeResult result = run();
        EXPECT_EQ(result.outcome, BridgeOutcome::kApplied);
        EXPECT_EQ(result.filterResult, noErr);
        EXPECT_EQ(seenFilterCase, c.filterCase);
        EXPECT_EQ(seenProfile, editor.profile);
        const size_t used = size_t(4 * 3 * c.channels);
        for (size_t i = 0; i < used; ++i) {
            ASSERT_EQ(editor.pixels[i], 255 - original[i]) << i;
        }
    }
    EXPECT_TRUE(editor.messages.empty());
    EXPECT_FALSE(editor.record) << "only a hand-off is remembered";
}

TEST_F(BridgeRunTest, AHandOffIsRememberedAndToldAndAFailureIsToldWithItsCode) {
    startAnswer = userCanceledErr;
    BridgeResult result = run();
    EXPECT_EQ(result.outcome, BridgeOutcome::kHandedOff);
    EXPECT_EQ(result.filterResult, userCanceledErr);
    ASSERT_TRUE(editor.record);
    EXPECT_EQ(editor.record->image, 7);
    EXPECT_EQ(editor.record->drawable, 8);
    EXPECT_EQ(editor.record->x, 10);
    EXPECT_EQ(editor.record->height, 3);
    ASSERT_EQ(editor.messages.size(), 1u);
    EXPECT_NE(editor.messages[0].find("panel"), std::string::npos);

    startAnswer = filterBadParameters;
    result = run();
    EXPECT_EQ(result.outcome, BridgeOutcome::kFailed);
    EXPECT_EQ(result.filterResult, filterBadParameters);
    EXPECT_NE(editor.messages.back().find("-30100"), std::string::npos);
    EXPECT_EQ(editor.writes, 0);
    EXPECT_EQ(editor.pixels, original);
}

TEST_F(BridgeRunTest, PixelExchangeFailuresAreToldAndReported) {
    editor.readFails = true;
    EXPECT_EQ(run().outcome, BridgeOutcome::kFailed);
    EXPECT_EQ(filterCalls, 0);
    editor.readFails = false;
    editor.writeFails = true;
    EXPECT_EQ(run().outcome, BridgeOutcome::kFailed);
    EXPECT_EQ(editor.messages.size(), 2u);
}

TEST_F(BridgeRunTest, AWaitingResultIsAppliedOnlyWhereItsInputCameFrom) {
    const LayerArea handedOff{7, 8, 10, 20, 4, 3};
    struct Case {
        const char* label;
        std::optional<LayerArea> record;
        double resultAge;  // < 0: no result waiting
        bool runs;
    };
    auto with = [&handedOff](void (*change)(LayerArea&)) {
        LayerArea r = handedOff;
        change(r);
        return std::optional<LayerArea>(r);
    };
    // Results without a mark, which can't say which picture they are for: any other area is
    // kept from them.
    const Case cases[] = {
        {"the same layer and area", handedOff, 10, true},
        {"another image", with([](LayerArea& r) { r.image = 6; }), 10, false},
        {"another layer", with([](LayerArea& r) { r.drawable = 9; }), 10, false},
        {"another selection", with([](LayerArea& r) { r.width = 5; }), 10, false},
        {"moved selection", with([](LayerArea& r) { r.y = 21; }), 10, false},
        {"another image, nothing waiting", with([](LayerArea& r) { r.image = 6; }), -1, true},
        {"another image, stale result", with([](LayerArea& r) { r.image = 6; }), 901, true},
        {"no hand-off remembered", std::nullopt, 10, true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(spoolDir + "/result-1.png");
        const std::string result = c.resultAge < 0 ? "" : waitingResult(c.resultAge);
        editor.record = c.record;
        editor.messages.clear();
        filterCalls = 0;
        editor.pixels = original;
        const BridgeResult outcome = run();
        EXPECT_EQ(filterCalls, c.runs ? 1 : 0) << c.label;
        if (!c.runs) {
            EXPECT_EQ(outcome.outcome, BridgeOutcome::kRefused) << c.label;
            ASSERT_EQ(editor.messages.size(), 1u) << c.label;
            EXPECT_NE(editor.messages[0].find("another image"), std::string::npos);
            EXPECT_TRUE(std::filesystem::exists(result)) << "the result stays for its image";
            EXPECT_EQ(editor.pixels, original);
        } else {
            EXPECT_TRUE(inverted()) << c.label;
        }
    }
}

// A marked result made from other pixels is left to the filter, which hands this picture to the
// panel instead; one the filter would take (the same pixels elsewhere) is kept from landing in
// another image, layer or selection.
TEST_F(BridgeRunTest, AMarkedResultIsKeptOnlyFromOtherAreasWithTheSamePixels) {
    const LayerArea handedOff{7, 8, 10, 20, 4, 3};
    const PictureMark here = markOfPlanes(original.data(), 4 * 4, 4, 3, 4);
    PictureMark elsewhere = here;
    elsewhere.low ^= 1;
    struct Case {
        const char* label;
        LayerArea record;
        PictureMark mark;
        bool runs;
    };
    const Case cases[] = {
        {"another image, other pixels", {6, 8, 10, 20, 4, 3}, elsewhere, true},
        {"another layer, the same pixels", {7, 9, 10, 20, 4, 3}, here, false},
        {"the same area, the same pixels", handedOff, here, true},
        {"the same area, other pixels (an undo since)", handedOff, elsewhere, true},
    };
    for (const Case& c : cases) {
        const std::string path = spoolDir + "/result-1.png";
        const std::vector<uint8_t> file =
            markedPng(png::encode(PixelBuffer{1, 1, {1, 2, 3, 4}}), c.mark);
        ASSERT_FALSE(file.empty());
        writeText(path, std::string(file.begin(), file.end()));
        editor.record = c.record;
        editor.messages.clear();
        editor.pixels = original;
        filterCalls = 0;
        const BridgeResult outcome = run();
        EXPECT_EQ(filterCalls, c.runs ? 1 : 0) << c.label;
        if (!c.runs) {
            EXPECT_EQ(outcome.outcome, BridgeOutcome::kRefused) << c.label;
            EXPECT_TRUE(std::filesystem::exists(path)) << c.label;
            EXPECT_EQ(editor.pixels, original) << c.label;
        }
        std::filesystem::remove(path);
    }
}

TEST_F(BridgeRunTest, AHandOffInAGimpOffTheAccessibilityBusSaysTheOneThingToDo) {
    startAnswer = userCanceledErr;
    editor.onBus = false;
    const BridgeResult result = run();
    // Nothing is lost: the picture still goes to the panel.
    EXPECT_EQ(result.outcome, BridgeOutcome::kHandedOff);
    EXPECT_EQ(filterCalls, 1);
    EXPECT_TRUE(editor.record);
    EXPECT_EQ(editor.pixels, original);
    ASSERT_EQ(editor.messages.size(), 1u);
    EXPECT_EQ(editor.messages[0],
              "Lumivo: the picture went to the panel, but GIMP is not on the accessibility bus, "
              "so the panel can't run Filters > Lumivo for you: log out and back in once after "
              "installing, or start GIMP as GTK_MODULES=gail:atk-bridge gimp");

    // An applied result needs no press: nothing is said.
    startAnswer = noErr;
    editor.messages.clear();
    EXPECT_EQ(run().outcome, BridgeOutcome::kApplied);
    EXPECT_TRUE(editor.messages.empty());
}

TEST(AtkBridgeCheck, WhatLoadsTheModuleThatPutsGtk2OnTheBus) {
    struct Case {
        const char* modules;
        bool loads;
    };
    const Case cases[] = {
        {nullptr, false},
        {"", false},
        {"gail", false},
        {"canberra-gtk-module", false},
        {"gail:atk-bridge", true},
        {"atk-bridge", true},
        {"canberra-gtk-module,gail,atk-bridge", true},
        {"gail:atk-bridge:canberra-gtk-module", true},
        {"/usr/lib/x86_64-linux-gnu/gtk-2.0/modules/libatk-bridge.so", true},
        {"atk-bridge-extra", false},
        {"notatk-bridge", false},
        {"gail:", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gtkModulesLoadAtkBridge(c.modules), c.loads)
            << (c.modules == nullptr ? "unset" : c.modules);
    }
    const std::string loaded =
        "7f1c2e000000-7f1c2e004000 r--p 00000000 08:01 1234 "
        "/usr/lib/x86_64-linux-gnu/gtk-2.0/modules/libatk-bridge.so\n";
    const std::string notLoaded =
        "7f1c2e000000-7f1c2e004000 r--p 00000000 08:01 1234 "
        "/usr/lib/x86_64-linux-gnu/gtk-2.0/modules/libgail.so\n";
    EXPECT_TRUE(mapsShowAtkBridge(loaded));
    EXPECT_TRUE(mapsShowAtkBridge(notLoaded +
                                  "7f1c-7f1d r-xp 0 08:01 9 "
                                  "/usr/lib/x86_64-linux-gnu/libatk-bridge-2.0.so.0.0.0\n"));
    EXPECT_FALSE(mapsShowAtkBridge(notLoaded));
    EXPECT_FALSE(mapsShowAtkBridge(""));
}
