#include "plugin/filter_start.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "plugin/host_mark.h"
#include "plugin/host_pixels.h"

namespace {

// The host side of one test: buffers that advanceState hands out, and what it was asked.
struct TestHost {
    int advanceCalls = 0;
    OSErr advanceAnswer = noErr;
    std::vector<uint8_t> in;
    std::vector<uint8_t> out;
    int32 rowBytes = 0;
    bool negativeRows = false;
    bool withoutData = false;
    FilterRecord* record = nullptr;
};
TestHost host;

OSErr advance() {
    ++host.advanceCalls;
    FilterRecord& r = *host.record;
    if (host.withoutData) {
        r.inData = r.outData = nullptr;
        return host.advanceAnswer;
    }
    const int height = r.inRect.bottom - r.inRect.top;
    if (host.negativeRows) {
        // Bottom-up rows: the first row lies at the end of the block.
        r.inData = host.in.data() + size_t(height - 1) * host.rowBytes;
        r.outData = host.out.data() + size_t(height - 1) * host.rowBytes;
        r.inRowBytes = r.outRowBytes = -host.rowBytes;
    } else {
        r.inData = host.in.data();
        r.outData = host.out.data();
        r.inRowBytes = r.outRowBytes = host.rowBytes;
    }
    return host.advanceAnswer;
}

class FilterStart : public ::testing::Test {
  protected:
    void SetUp() override {
        host = TestHost();
        host.record = &record;
        record.advanceState = &advance;
        record.imageMode = plugInModeRGBColor;
        record.planes = 3;
        record.filterCase = filterCaseFlatImageNoSelection;
        setArea(3, 2, 5);
    }
    // A width x height area with rows padded to rowBytes, every byte distinct.
    void setArea(int width, int height, int32 rowBytes) {
        record.filterRect = Rect{10, 20, int16(10 + height), int16(20 + width)};
        host.rowBytes = rowBytes * 4;
        host.in.resize(size_t(host.rowBytes) * height);
        for (size_t i = 0; i < host.in.size(); ++i) {
            host.in[i] = uint8_t(i * 7 + 1);
        }
        host.out.assign(host.in.size(), 0xEE);
    }
    int16 start(const FilterRun& run) { return answerSelector(filterSelectorStart, record, run); }

    FilterRecord record{};
};

// A run that answers with the input, every colour byte inverted and alpha kept.
int invertPixels(const PixelBuffer& input, PixelBuffer& output) {
    output = input;
    for (size_t i = 0; i < output.rgba.size(); ++i) {
        if (i % 4 != 3) {
            output.rgba[i] = uint8_t(255 - output.rgba[i]);
        }
    }
    return 0;
}

// A filter run made of a body that fills the output: an output of outcome 0 goes to the host.
FilterRun runOf(std::function<int(const PixelBuffer&, PixelBuffer&)> body) {
    return [body](PixelBuffer input, const PictureMark&, const HostWrite& write) {
        PixelBuffer output;
        const int outcome = body(input, output);
        if (outcome == 0 && !write(std::move(output))) {
            return 2;
        }
        return outcome;
    };
}
const FilterRun invert = runOf(&invertPixels);

}  // namespace

TEST_F(FilterStart, SelectorsOtherThanStartAnswerAtOnce) {
    struct Case {
        int16 selector;
        int16 imageMode;
        int16 result;
    };
    const Case cases[] = {
        {filterSelectorAbout, 3, noErr},
        {filterSelectorParameters, 3, noErr},
        {filterSelectorPrepare, 3, noErr},
        {filterSelectorPrepare, 1, filterBadMode},
        {filterSelectorPrepare, 4, filterBadMode},
        {filterSelectorContinue, 3, noErr},
        {filterSelectorFinish, 3, noErr},
        {6, 3, filterBadParameters},
        {-1, 3, filterBadParameters},
        {-32768, 3, filterBadParameters},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selector);
        record.imageMode = c.imageMode;
        record.bufferSpace = 77;
        record.inRect = record.outRect = Rect{1, 2, 3, 4};
        EXPECT_EQ(answerSelector(c.selector, record, invert), c.result);
        EXPECT_EQ(record.bufferSpace,
                  c.selector == filterSelectorPrepare && c.result == noErr ? 0 : 77);
        const bool zeroed = c.selector == filterSelectorContinue;
        EXPECT_EQ(record.inRect.bottom, zeroed ? 0 : 3);
        EXPECT_EQ(record.outRect.right, zeroed ? 0 : 4);
    }
    EXPECT_EQ(host.advanceCalls, 0);
}

TEST_F(FilterStart, StartRefusesWhatItCannotCopyBeforeAskingForPixels) {
    struct Case {
        const char* name;
        Rect area;
        int16 planes;
        bool withAdvance;
    };
    const Case cases[] = {
        {"zero width", Rect{0, 5, 4, 5}, 3, true},
        {"zero height", Rect{4, 0, 4, 5}, 3, true},
        {"inverted", Rect{4, 5, 0, 0}, 3, true},
        {"two planes", Rect{0, 0, 2, 2}, 2, true},
        {"no advanceState", Rect{0, 0, 2, 2}, 3, false},
        {"too large", Rect{-32768, -32768, 32767, 32767}, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        record.filterRect = c.area;
        record.planes = c.planes;
        record.advanceState = c.withAdvance ? &advance : nullptr;
        bool ran = false;
        EXPECT_EQ(start(runOf([&](const PixelBuffer&, PixelBuffer&) { return ran = true, 0; })),
                  filterBadParameters);
        EXPECT_FALSE(ran);
    }
    EXPECT_EQ(host.advanceCalls, 0);
}

TEST_F(FilterStart, OutcomesMapToResultCodes) {
    struct Case {
        int outcome;
        uint32_t outputWidth;
        int16 result;
        bool written;
    };
    const Case cases[] = {
        {0, 3, noErr, true},
        {1, 0, userCanceledErr, false},
        {2, 0, filterBadParameters, false},
        {0, 4, filterBadParameters, false},  // a result of the wrong size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.outcome);
        host.out.assign(host.out.size(), 0xEE);
        const int16 result = start(runOf([&](const PixelBuffer& input, PixelBuffer& output) {
            invertPixels(input, output);
            output.width = c.outputWidth;
            output.rgba.resize(size_t(output.width) * output.height * 4);
            return c.outcome;
        }));
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(host.out[0] != 0xEE, c.written);
        EXPECT_EQ(record.inRect.bottom, 0);  // nothing more requested
        EXPECT_EQ(record.outRect.right, 0);
    }
    host.advanceAnswer = -108;
    EXPECT_EQ(start(invert), -108);
    host.advanceAnswer = noErr;
    host.withoutData = true;
    EXPECT_EQ(start(invert), filterBadParameters);
}

TEST_F(FilterStart, PlaneCountsFollowTheFilterCase) {
    struct Case {
        int16 filterCase;
        int16 planes;
        int16 count;
    };
    const Case cases[] = {
        {filterCaseEditableTransparencyNoSelection, 4, 4},
        {filterCaseEditableTransparencyWithSelection, 4, 4},
        {filterCaseEditableTransparencyNoSelection, 3, 3},
        {filterCaseFlatImageNoSelection, 3, 3},
        {filterCaseFlatImageWithSelection, 4, 3},
        {filterCaseProtectedTransparencyNoSelection, 4, 3},
        {filterCaseProtectedTransparencyWithSelection, 4, 3},
    };
    for (const Case& c : cases) {
        record.filterCase = c.filterCase;
        record.planes = c.planes;
        EXPECT_EQ(planeCountFor(record), c.count) << c.filterCase << "/" << c.planes;
    }
    record.filterCase = filterCaseEditableTransparencyWithSelection;
    record.planes = 4;
    EXPECT_EQ(start(invert), noErr);
    EXPECT_EQ(record.inHiPlane, 3);
    EXPECT_EQ(record.outHiPlane, 3);
    EXPECT_EQ(record.inputPadding, plugInWantsEdgeReplication);
}

TEST_F(FilterStart, PixelsTravelThroughPaddedAndBottomUpRows) {
    for (int16 planes : {3, 4}) {
        for (bool negative : {false, true}) {
            SCOPED_TRACE(testing::Message() << planes << " planes, negative " << negative);
            record.planes = planes;
            record.filterCase = planes == 4 ? filterCaseEditableTransparencyNoSelection
                                            : filterCaseFlatImageNoSelection;
            host.negativeRows = negative;
            host.out.assign(host.out.size(), 0xEE);
            PixelBuffer seen;
            ASSERT_EQ(start(runOf([&](const PixelBuffer& input, PixelBuffer& output) {
                          seen = input;
                          return invertPixels(input, output);
                      })),
                      noErr);
            const int width = 3, height = 2;
            for (int r = 0; r < height; ++r) {
                // Row r of the image lives at memory row r, or height-1-r when rows run upwards.
                const size_t memoryRow = negative ? size_t(height - 1 - r) : size_t(r);
                const uint8_t* in = host.in.data() + memoryRow * host.rowBytes;
                const uint8_t* out = host.out.data() + memoryRow * host.rowBytes;
                for (int c = 0; c < width; ++c) {
                    const uint8_t* pixel = &seen.rgba[(size_t(r) * width + c) * 4];
                    for (int k = 0; k < 3; ++k) {
                        EXPECT_EQ(pixel[k], in[c * planes + k]);
                        EXPECT_EQ(out[c * planes + k], 255 - in[c * planes + k]);
                    }
                    EXPECT_EQ(pixel[3], planes == 4 ? in[c * 4 + 3] : 255);
                    if (planes == 4) {
                        EXPECT_EQ(out[c * 4 + 3], in[c * 4 + 3]);
                    }
                }
                // Padding past width x planes is the host's and stays as it was.
                for (int i = width * planes; i < host.rowBytes; ++i) {
                    EXPECT_EQ(out[i], 0xEE);
                }
            }
        }
    }
}

TEST_F(FilterStart, TheRunLearnsWhichPictureTheHostHoldsAndWhatItHoldsAfterTheWrite) {
    for (bool negative : {false, true}) {
        SCOPED_TRACE(negative);
        host.negativeRows = negative;
        const size_t first = negative ? size_t(host.rowBytes) : 0;  // rows of a 3 x 2 area
        const ptrdiff_t rows = negative ? -host.rowBytes : host.rowBytes;
        std::optional<PictureMark> given, written, again;
        const int16 result =
            start([&](PixelBuffer input, const PictureMark& mark, const HostWrite& write) {
                given = mark;
                PixelBuffer output;
                invertPixels(input, output);
                PixelBuffer wrongSize{output.width - 1, output.height, {}};
                EXPECT_FALSE(write(std::move(wrongSize)));
                written = write(output);
                again = write(std::move(output));
                return 0;
            });
        EXPECT_EQ(result, noErr);
        EXPECT_EQ(given, markOfPlanes(host.in.data() + first, rows, 3, 2, 3));
        EXPECT_EQ(written, markOfPlanes(host.out.data() + first, rows, 3, 2, 3));
        EXPECT_FALSE(again) << "written once only";
    }
    // A run that claims a result without writing it fails the call.
    EXPECT_EQ(start([](PixelBuffer, const PictureMark&, const HostWrite&) { return 0; }),
              filterBadParameters);
}

namespace {

std::vector<char> profileBytes;
int locks = 0;
int unlocks = 0;
bool lockFails = false;
Ptr lockProfile(Handle, Boolean) {
    ++locks;
    return lockFails ? nullptr : profileBytes.data();
}
void unlockProfile(Handle) {
    ++unlocks;
}

}  // namespace

TEST_F(FilterStart, TheProfileIsTakenOnlyWhenItIsAWholeRgbProfile) {
    struct Case {
        const char* name;
        int32 size;
        const char* colourSpace;
        const char* signature;
        int32 canUse;
        bool lockFails;
        bool taken;
        int unlocks;
    };
    const Case cases[] = {
        {"128 bytes RGB", 128, "RGB ", "acsp", 1, false, true, 1},
        {"127 bytes", 127, "RGB ", "acsp", 1, false, false, 0},
        {"grey profile", 200, "GRAY", "acsp", 1, false, false, 1},
        {"cmyk profile", 200, "CMYK", "acsp", 1, false, false, 1},
        {"no signature", 200, "RGB ", "xxxx", 1, false, false, 1},
        {"host offers none", 200, "RGB ", "acsp", 0, false, false, 0},
        {"lock fails", 200, "RGB ", "acsp", 1, true, false, 0},
        {"absurd size", 0x7fffffff, "RGB ", "acsp", 1, false, false, 0},
    };
    HandleProcs procs{};
    procs.lockProc = &lockProfile;
    procs.unlockProc = &unlockProfile;
    char dummy = 0;
    char* block = &dummy;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        profileBytes.assign(256, 'x');
        std::memcpy(&profileBytes[16], c.colourSpace, 4);
        std::memcpy(&profileBytes[36], c.signature, 4);
        locks = unlocks = 0;
        lockFails = c.lockFails;
        record.handleProcs = &procs;
        record.iCCprofileData = &block;
        record.iCCprofileSize = c.size;
        record.canUseICCProfiles = c.canUse;
        std::vector<uint8_t> profile = fetchProfile(record);
        EXPECT_EQ(profile.size(), c.taken ? size_t(c.size) : 0u);
        EXPECT_EQ(unlocks, c.unlocks);
    }
    record.handleProcs = nullptr;
    EXPECT_TRUE(fetchProfile(record).empty());
    procs.unlockProc = nullptr;
    record.handleProcs = &procs;
    record.iCCprofileSize = 128;
    lockFails = false;
    std::memcpy(&profileBytes[16], "RGB ", 4);
    std::memcpy(&profileBytes[36], "acsp", 4);
    EXPECT_EQ(fetchProfile(record).size(), 128u);
}
