// The demo editor drives plug-ins the way an editor does; these plug-ins live in the test.
#include "host/filter_driver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Seen {
    std::vector<int16> selectors;
    int16 filterCase = 0;
    int16 planes = 0;
    Rect filterRect{};
    int32 inRowBytes = 0;
    std::vector<uint8_t> profile;
};
Seen seen;
int16 prepareAnswer = noErr;

// Inverts the requested planes of the areas it asks for: the whole filter area at once, or
// (tiled) one row band per call.
void invertArea(FilterRecord* record, int16 planes) {
    const int width = record->outRect.right - record->outRect.left;
    const int height = record->outRect.bottom - record->outRect.top;
    for (int y = 0; y < height; ++y) {
        auto* in = static_cast<uint8_t*>(record->inData) + y * record->inRowBytes;
        auto* out = static_cast<uint8_t*>(record->outData) + y * record->outRowBytes;
        for (int i = 0; i < width * planes; ++i) {
            out[i] = static_cast<uint8_t>(255 - in[i]);
        }
    }
}

void request(FilterRecord* record, Rect area, int16 planes) {
    record->inRect = area;
    record->outRect = area;
    record->inLoPlane = record->outLoPlane = 0;
    record->inHiPlane = record->outHiPlane = static_cast<int16>(planes - 1);
}

template <bool kTiled>
void invertingPlugin(int16 selector, FilterRecord* record, intptr_t*, int16* result) {
    seen.selectors.push_back(selector);
    *result = noErr;
    const int16 planes = record->planes;
    Rect area = record->filterRect;
    if (selector == filterSelectorPrepare) {
        *result = prepareAnswer;
    } else if (selector == filterSelectorStart) {
        seen.filterCase = record->filterCase;
        seen.planes = record->planes;
        seen.filterRect = record->filterRect;
        if (record->canUseICCProfiles && record->iCCprofileData) {
            Ptr bytes = record->handleProcs->lockProc(record->iCCprofileData, false);
            seen.profile.assign(bytes, bytes + record->iCCprofileSize);
            record->handleProcs->unlockProc(record->iCCprofileData);
        }
        if (kTiled) {
            area.bottom = static_cast<int16>(area.top + 1);
            request(record, area, planes);
            return;
        }
        request(record, area, planes);
        *result = record->advanceState();
        seen.inRowBytes = record->inRowBytes;
        invertArea(record, planes);
        request(record, Rect{0, 0, 0, 0}, planes);
    } else if (selector == filterSelectorContinue) {
        invertArea(record, planes);
        Rect next = record->outRect;
        next.top = next.bottom;
        next.bottom = static_cast<int16>(next.bottom + 1);
        request(record, next.top < record->filterRect.bottom ? next : Rect{0, 0, 0, 0}, planes);
    }
}

Document filled(uint32_t width, uint32_t height, int channels) {
    Document document = makeDocument(width, height, channels);
    for (uint32_t y = 0; y < height; ++y) {
        for (size_t i = 0; i < document.rowBytes; ++i) {
            document.row(y)[i] = static_cast<uint8_t>(i < width * channels ? y * 10 + i : 0x5A);
        }
    }
    return document;
}

class FilterDriver : public ::testing::Test {
  protected:
    void SetUp() override {
        seen = Seen();
        prepareAnswer = noErr;
    }
};

}  // namespace

TEST_F(FilterDriver, DrivesTheWholeDocumentOrASelectionWithTheMatchingCase) {
    struct Case {
        int channels;
        std::optional<Selection> selection;
        int16 filterCase;
    };
    const Case cases[] = {
        {3, std::nullopt, filterCaseFlatImageNoSelection},
        {3, Selection{2, 1, 3, 2}, filterCaseFlatImageWithSelection},
        {4, std::nullopt, filterCaseEditableTransparencyNoSelection},
        {4, Selection{2, 1, 30, 30}, filterCaseEditableTransparencyWithSelection},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filterCase);
        seen = Seen();
        Document document = filled(6, 4, c.channels);
        const Document before = document;
        EXPECT_EQ(runFilter(&invertingPlugin<false>, document, c.selection), noErr);
        EXPECT_EQ(seen.selectors, (std::vector<int16>{2, 3, 5}));
        EXPECT_EQ(seen.filterCase, c.filterCase);
        EXPECT_EQ(seen.planes, c.channels);
        EXPECT_GT(seen.inRowBytes,  // rows are padded
                  (seen.filterRect.right - seen.filterRect.left) * c.channels);

        const Selection area = c.selection.value_or(Selection{0, 0, 6, 4});
        EXPECT_EQ(seen.filterRect.left, static_cast<int16>(area.x));
        EXPECT_EQ(seen.filterRect.right, static_cast<int16>(std::min(6u, area.x + area.width)));
        for (uint32_t y = 0; y < 4; ++y) {
            for (size_t i = 0; i < document.rowBytes; ++i) {
                const size_t x = i / c.channels;
                const bool inside = i < 6u * c.channels && x >= area.x && x < area.x + area.width &&
                                    y >= area.y && y < area.y + area.height;
                const uint8_t old = before.row(y)[i];
                EXPECT_EQ(document.row(y)[i], inside ? 255 - old : old) << y << "," << i;
            }
        }
    }
}

TEST_F(FilterDriver, ContinuesWhileThePluginAsksForMore) {
    Document document = filled(5, 3, 3);
    const Document before = document;
    // Several bands: the document is kept once, before the first band changes it.
    std::vector<Document> kept;
    FilterRunWatch watch;
    watch.beforeChange = [&] { kept.push_back(document); };
    EXPECT_EQ(runFilter(&invertingPlugin<true>, document, std::nullopt, &watch), noErr);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(samePixels(kept[0], before));
    EXPECT_EQ(seen.selectors, (std::vector<int16>{2, 3, 4, 4, 4, 5}));
    EXPECT_EQ(document.row(2)[0], 255 - before.row(2)[0]);
    EXPECT_EQ(document.row(2)[14], 255 - before.row(2)[14]);
}

TEST_F(FilterDriver, OffersTheDocumentProfileAndStopsOnAPrepareError) {
    Document document = filled(2, 2, 3);
    document.iccProfile = {1, 2, 3, 4, 5};
    EXPECT_EQ(runFilter(&invertingPlugin<false>, document, std::nullopt), noErr);
    EXPECT_EQ(seen.profile, (std::vector<uint8_t>{1, 2, 3, 4, 5}));

    seen = Seen();
    prepareAnswer = filterBadMode;
    const Document before = document;
    EXPECT_EQ(runFilter(&invertingPlugin<false>, document, std::nullopt), filterBadMode);
    EXPECT_EQ(seen.selectors, (std::vector<int16>{2}));
    EXPECT_TRUE(samePixels(before, document));
}

namespace {

// Asks for the whole area, writes nothing and cancels, as a filter that hands its input off.
void cancellingPlugin(int16 selector, FilterRecord* record, intptr_t*, int16* result) {
    *result = noErr;
    if (selector == filterSelectorStart) {
        request(record, record->filterRect, record->planes);
        record->advanceState();
        request(record, Rect{0, 0, 0, 0}, record->planes);
        *result = userCanceledErr;
    }
}

}  // namespace

TEST_F(FilterDriver, TellsItsWatchEachStepAndWhetherTheDocumentChanged) {
    struct Case {
        PluginMainProc plugin;
        int channels;
        bool changed;
    };
    const Case cases[] = {
        {&invertingPlugin<false>, 3, true},
        {&invertingPlugin<false>, 4, true},
        {&cancellingPlugin, 3, false},
    };
    for (const Case& c : cases) {
        Document document = filled(6, 4, c.channels);
        const Document before = document;
        std::vector<std::string> steps;
        FilterRunWatch watch;
        watch.onStep = [&steps](const char* step) { steps.emplace_back(step); };
        // What an editor would keep for its undo: the document as it was, taken once.
        std::vector<Document> kept;
        watch.beforeChange = [&] { kept.push_back(document); };
        runFilter(c.plugin, document, Selection{1, 1, 3, 2}, &watch);
        EXPECT_EQ(watch.changed, c.changed);
        ASSERT_EQ(kept.size(), c.changed ? 1u : 0u);
        if (c.changed) {
            EXPECT_TRUE(samePixels(kept[0], before));
        }
        EXPECT_EQ(steps, (std::vector<std::string>{"start", "buffers", "buffers-filled",
                                                   "start-returned", "written-back", "finished"}));
    }
}
