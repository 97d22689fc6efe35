#include "panel/app/apply_back.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "apply/apply_test_support.h"
#include "fakes/fake_accessibility.h"
#include "fakes/fake_accessibility_permission.h"
#include "fakes/fake_user_defaults.h"
#include "fakes/manual_queue.h"
#include "imaging/png.h"
#include "imaging/test_images.h"
#include "panel/bridge/base64.h"
#include "plugin/marked_png.h"
#include "plugin/spool.h"

namespace {

// A 3 x 2 RGBA PNG.
constexpr char kPng[] =
    "iVBORw0KGgoAAAANSUhEUgAAAAMAAAACCAYAAACddGYaAAAAFElEQVR4nGP4z8DwHwwZ/jcwIHMAjhMK97bT1FAAAAAAS"
    "UVORK5CYII=";
constexpr pid_t kHost = 777;

// What the page and the panel were told, in one ordered log.
struct Recorder final : PageCaller, PanelState {
    std::vector<std::string> events;
    std::vector<nlohmann::json> acks;
    std::string spool;
    bool throwOnRetarget = false;
    bool exportFromAnotherSource = false;
    FrameSize frame{3, 2};

    void callAck(const std::string& name, const nlohmann::json& arguments) override {
        events.push_back("ack " + name);
        acks.push_back(arguments);
    }
    void retargetAtFrame(PixelBuffer frame, FrameFile file) override {
        if (throwOnRetarget) {
            throw std::runtime_error("retarget");
        }
        events.push_back("retarget " + std::to_string(frame.width) + "x" +
                         std::to_string(frame.height) + (file ? " with its file" : ""));
    }
    void retargetAtInput(PixelBuffer frame, FrameSource, FrameFile file, std::optional<PictureMark>,
                         FrameArrival) override {
        retargetAtFrame(std::move(frame), std::move(file));
    }
    uint64_t handOffs() const override { return 0; }
    bool lastExportIsFromAnotherSource() const override { return exportFromAnotherSource; }
    std::optional<PictureMark> resultMark() const override { return mark; }
    std::optional<PictureMark> mark;
    std::string spoolDirectory() const override { return spool; }
    FrameSize frameSize() const override { return frame; }
};

class ApplyBackTest : public ::testing::Test {
  protected:
    void SetUp() override {
        recorder.spool = spoolDir;
        permission.held = true;
        apps.apps = {{kHost, "", ""}};
        hostPid = kHost;
        auto app = std::make_shared<FakeAxNode>();
        app->menuBar = std::make_shared<FakeAxNode>();
        item = app->menuBar->add(FakeAxNode::titled("Lumivo"));
        // The editor runs the filter: the plug-in takes the newest result and removes them all.
        item->onPress = [this] {
            for (const std::string& name : entryNames(spoolDir)) {
                consumed.push_back(readFile(spoolDir + "/" + name));
                std::filesystem::remove(spoolDir + "/" + name);
            }
        };
        ax.applications[kHost] = app;
    }

    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    TempDir dir;
    const std::string spoolDir = makeSpoolDirectory(dir);
    Recorder recorder;
    ManualQueue queue;
    FakeAccessibility ax;
    FakeAccessibilityPermission permission;
    FakeUserDefaults defaults;
    FakeRunningApps apps;
    FakeWaitClock clock;
    std::atomic<int32_t> hostPid{0};
    FakeAxNode* item = nullptr;
    std::vector<std::string> consumed;
    double wallClock = 1700000000.0;
    AccessibilityBookkeeping bookkeeping{permission, defaults, "1.0"};
    AutoApplier applier{ax,
                        apps,
                        hostPid,
                        [this] { return bookkeeping.accessibilityStatusForApply(); },
                        clock.clock(),
                        [this] { return recorder.handOffs(); },
                        [](pid_t) { return std::vector<std::string>{}; }};
    ApplyBack back{recorder, recorder,    [this]() -> TaskQueue& { return queue; },
                   applier,  bookkeeping, [this] { return wallClock; }};
};

TEST_F(ApplyBackTest, ResultIsWrittenAsSentBecomesTheFrameAndIsPressedIn) {
    back.handleApplyResult("a1", kPng);
    EXPECT_TRUE(recorder.events.empty()) << "the request only enqueues";
    queue.drain();
    // A plain file that holds exactly its pixels stays with the frame, for the next export.
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"retarget 3x2 with its file", "ack __lumivoImportAck"}));
    EXPECT_EQ(recorder.acks[0], nlohmann::json::array({"a1", true, ""}));
    ASSERT_EQ(consumed.size(), 1u);
    auto sent = base64::decode(kPng);
    EXPECT_EQ(consumed[0], std::string(sent->begin(), sent->end())) << "bytes, not re-encoded";
}

TEST_F(ApplyBackTest, AFileThatHoldsOtherPixelsThanItsFrameIsNotKept) {
    // A transparent pixel with a colour: drawing blanks it, so the file is not the frame's.
    recorder.frame = {1, 1};
    const std::vector<uint8_t> coloured = png::encode(PixelBuffer{1, 1, {9, 9, 9, 0}});
    back.handleApplyResult("b1", base64::encode(coloured.data(), coloured.size()));
    queue.drain();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"retarget 1x1", "ack __lumivoImportAck"}));
    EXPECT_EQ(consumed.size(), 1u);
}

TEST_F(ApplyBackTest, AResultBecomesTheFrameAtTheFramesSizeOrIsRefusedWhenItClaimsTooMuch) {
    // Within the limit (four times the frame's pixels, at least 16 megapixels): fitted to the
    // frame as it is decoded, and written as sent. Above it: refused, though it would decode.
    const PixelBuffer flat{5000, 4000, std::vector<uint8_t>(size_t{5000} * 4000 * 4, 200)};
    const std::vector<uint8_t> huge = png::encode(flat);
    ASSERT_FALSE(huge.empty());
    const struct {
        const char* what;
        FrameSize frame;
        std::string result;
        std::vector<std::string> events;
        bool ok;
    } cases[] = {
        {"smaller than the frame", {6, 4}, kPng, {"retarget 6x4", "ack __lumivoImportAck"}, true},
        {"20 MP for a 3 x 2 frame",
         {3, 2},
         base64::encode(huge.data(), huge.size()),
         {"ack __lumivoImportAck"},
         false},
        {"20 MP for a 5 MP frame",
         {2500, 2000},
         base64::encode(huge.data(), huge.size()),
         {"retarget 2500x2000", "ack __lumivoImportAck"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        recorder.events.clear();
        recorder.acks.clear();
        consumed.clear();
        recorder.frame = c.frame;
        back.handleApplyResult("f", c.result);
        queue.drain();
        EXPECT_EQ(recorder.events, c.events);
        EXPECT_EQ(recorder.acks.back(), nlohmann::json::array({"f", c.ok, ""}));
        EXPECT_EQ(consumed.size(), c.ok ? 1u : 0u);
        EXPECT_TRUE(entryNames(spoolDir).empty());
    }
}

TEST_F(ApplyBackTest, UndecodableResultsOrAnUnwritableSpoolAreRefusedWithoutAFile) {
    const std::string png = kPng;
    const std::string notPng = base64::encode(reinterpret_cast<const uint8_t*>("hello"), 5);
    for (const std::string& text :
         {std::string(), png.substr(0, 40) + "\n" + png.substr(40), png + " ", notPng}) {
        back.handleApplyResult(nlohmann::json(7), text);
    }
    queue.drain();
    for (const std::string& unusable : {spoolDir + "/missing", std::string()}) {
        recorder.spool = unusable;
        back.handleApplyResult(7, kPng);
        queue.drain();
    }
    EXPECT_EQ(recorder.events, std::vector<std::string>(6, "ack __lumivoImportAck"));
    for (const auto& ack : recorder.acks) {
        EXPECT_EQ(ack, nlohmann::json::array({7, false, ""}));
    }
    EXPECT_TRUE(entryNames(spoolDir).empty());
    EXPECT_EQ(item->presses, 0);
}

TEST_F(ApplyBackTest, WithNoKnownHostTheResultStaysAndIsTheFrame) {
    hostPid = 0;
    back.handleApplyResult("", kPng);
    queue.drain();
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"retarget 3x2 with its file", "ack __lumivoImportAck"}));
    EXPECT_EQ(recorder.acks[0], nlohmann::json::array({"", true, "host-gone"}));
    EXPECT_EQ(entryNames(spoolDir), std::vector<std::string>{"result-1700000000000.png"});
}

TEST_F(ApplyBackTest, TwoResultsAreAppliedOneAfterTheOtherInArrivalOrder) {
    back.handleApplyResult("first", kPng);
    back.handleApplyResult("second", kPng);
    EXPECT_EQ(queue.pending(), 2u);
    queue.runOne();
    EXPECT_EQ(recorder.acks.size(), 1u) << "the first is answered before the second starts";
    EXPECT_EQ(consumed.size(), 1u);
    wallClock += 0.001;
    queue.runOne();
    ASSERT_EQ(recorder.acks.size(), 2u);
    EXPECT_EQ(recorder.acks[0][0], "first");
    EXPECT_EQ(recorder.acks[1][0], "second");
    EXPECT_EQ(consumed.size(), 2u);
}

TEST_F(ApplyBackTest, AJobCutShortStillAnswersOnce) {
    recorder.throwOnRetarget = true;
    back.handleApplyResult("x", kPng);
    queue.drain();
    ASSERT_EQ(recorder.acks.size(), 1u);
    EXPECT_EQ(recorder.acks[0], nlohmann::json::array({"x", true, "press-failed"}))
        << "the file was written, so the user can still run the filter";
}

TEST_F(ApplyBackTest, MissingPermissionIsReportedWithTheFileLeftInPlace) {
    permission.held = false;
    back.handleApplyResult("p", kPng);
    back.handleAccessibilityRepair("r");
    queue.drain();
    EXPECT_EQ(recorder.acks[0], nlohmann::json::array({"r", false}));
    EXPECT_EQ(recorder.acks[1], nlohmann::json::array({"p", true, "accessibility"}));
    EXPECT_EQ(entryNames(spoolDir).size(), 1u);
    EXPECT_EQ(item->presses, 0);
    EXPECT_EQ(permission.switchOns, 0) << "neither the apply nor an unasked repair switches on";
}

TEST_F(ApplyBackTest, AResultForAnotherEditorsFrameIsRefusedWithoutAFile) {
    recorder.exportFromAnotherSource = true;
    back.handleApplyResult("h", kPng);
    queue.drain();
    EXPECT_EQ(recorder.events, std::vector<std::string>{"ack __lumivoImportAck"});
    EXPECT_EQ(recorder.acks[0], nlohmann::json::array({"h", false, "host-changed"}));
    EXPECT_TRUE(entryNames(spoolDir).empty());
    EXPECT_EQ(item->presses, 0);
}

TEST_F(ApplyBackTest, ResultsNobodyConsumesAreKeptToTheNewestFew) {
    item->onPress = nullptr;  // the editor never runs the filter: every job times out
    std::vector<std::string> written;
    for (int i = 0; i < 7; ++i) {
        written.push_back(spool::fileName(spool::kResultPrefix, wallClock));
        back.handleApplyResult(i, kPng);
        queue.drain();
        wallClock += 1;
    }
    EXPECT_EQ(recorder.acks.back(), nlohmann::json::array({6, true, "timeout"}));
    std::vector<std::string> newest(written.end() - ApplyBack::kKeptResultFiles, written.end());
    EXPECT_EQ(entryNames(spoolDir), newest);
}

// A result the panel makes itself ("apply-look", "apply-url") takes the pieces' road from its
// bytes on: the same checks, the same file, the same press and answer, in turn with the rest.
TEST_F(ApplyBackTest, AProducedResultTakesThePiecesRoad) {
    const std::vector<uint8_t> bytes = *base64::decode(kPng);
    back.handleApplyResult("pieces", kPng);
    back.handleApplyResultFrom("made", [&] { return ProducedResult{bytes, ""}; });
    EXPECT_TRUE(recorder.events.empty()) << "the request only enqueues";
    queue.runOne();
    wallClock += 0.001;
    queue.runOne();
    EXPECT_EQ(recorder.events,
              (std::vector<std::string>{"retarget 3x2 with its file", "ack __lumivoImportAck",
                                        "retarget 3x2 with its file", "ack __lumivoImportAck"}));
    EXPECT_EQ(recorder.acks[1], nlohmann::json::array({"made", true, ""}));
    ASSERT_EQ(consumed.size(), 2u);
    EXPECT_EQ(consumed[1], std::string(bytes.begin(), bytes.end())) << "bytes, not re-encoded";
}

TEST_F(ApplyBackTest, AProducedResultIsRefusedAsThePiecesAreAndSaysWhy) {
    const std::vector<uint8_t> bytes = *base64::decode(kPng);
    const std::string hello = "hello";
    struct Case {
        ProducedResult produced;
        bool anotherSource;  // the last export was of another editor's frame
        nlohmann::json ack;
    };
    const std::vector<Case> cases = {
        {{std::nullopt, "frame-changed"}, false, {"r", false, "frame-changed"}},
        {{std::nullopt, ""}, false, {"r", false, ""}},
        {{std::vector<uint8_t>(hello.begin(), hello.end()), ""}, false, {"r", false, ""}},
        {{std::vector<uint8_t>(), ""}, false, {"r", false, ""}},
        // The frame's source is judged once the result is made, not before.
        {{bytes, ""}, true, {"r", false, "host-changed"}},
    };
    for (const Case& c : cases) {
        recorder.exportFromAnotherSource = c.anotherSource;
        back.handleApplyResultFrom("r", [&] { return c.produced; });
        queue.drain();
        EXPECT_EQ(recorder.acks.back(), c.ack) << c.ack.dump();
    }
    EXPECT_EQ(recorder.events, std::vector<std::string>(cases.size(), "ack __lumivoImportAck"));
    EXPECT_TRUE(entryNames(spoolDir).empty());
    EXPECT_EQ(item->presses, 0);

    // A result made from the current frame is that frame's source's, whatever was exported before.
    recorder.exportFromAnotherSource = true;
    back.handleApplyResultFrom("now", [&] {
        recorder.exportFromAnotherSource = false;
        return ProducedResult{bytes, ""};
    });
    queue.drain();
    EXPECT_EQ(recorder.acks.back(), nlohmann::json::array({"now", true, ""}));
}

TEST_F(ApplyBackTest, AProducerThatThrowsStillGetsItsAnswer) {
    back.handleApplyResultFrom("t", []() -> ProducedResult { throw std::runtime_error("x"); });
    queue.drain();
    EXPECT_EQ(recorder.acks, std::vector<nlohmann::json>{nlohmann::json::array({"t", false, ""})});
}

TEST_F(ApplyBackTest, AResultCarriesTheMarkOfThePictureItWasMadeFromAndNoOther) {
    const PictureMark exported{0x0123456789abcdefu, 0xfedcba9876543210u, 3, 2, 4};
    const std::optional<std::vector<uint8_t>> sent = base64::decode(kPng);
    // The page may send back a file that already says which picture it is (an export it kept):
    // only the panel's own word counts.
    const std::vector<uint8_t> claiming = markedPng(*sent, PictureMark{1, 2, 3, 2, 4});
    const PixelBuffer decoded = png::decode(sent->data(), sent->size());
    const std::vector<uint8_t> jpeg = testimg::writeJpeg(decoded, false, 100);
    const struct {
        const char* name;
        std::optional<PictureMark> mark;
        std::vector<uint8_t> result;
        bool written;
        std::optional<PictureMark> carried;
    } cases[] = {
        {"marked", exported, *sent, true, exported},
        {"a mark of the page's own", exported, claiming, true, exported},
        {"a frame that came unmarked", std::nullopt, *sent, true, std::nullopt},
        // Bytes that can't carry a mark go as a PNG of the panel's own that does.
        {"a JPEG", exported, jpeg, true, exported},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        consumed.clear();
        recorder.acks.clear();
        recorder.mark = c.mark;
        back.handleApplyResult("m", base64::encode(c.result.data(), c.result.size()));
        queue.drain();
        wallClock += 1;
        if (!c.written) {
            EXPECT_TRUE(consumed.empty());
            continue;
        }
        ASSERT_EQ(consumed.size(), 1u);
        const std::vector<uint8_t> file(consumed[0].begin(), consumed[0].end());
        EXPECT_EQ(picture_mark::find(file.data(), file.size()).present, c.carried.has_value());
        EXPECT_EQ(markIn(file), c.carried);
        // The pixels are the result's, untouched.
        EXPECT_EQ(png::decode(file.data(), file.size()).rgba,
                  png::decode(c.result.data(), c.result.size()).rgba);
    }
}

}  // namespace
