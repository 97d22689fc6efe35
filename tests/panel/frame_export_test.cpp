#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "panel/bridge/base64.h"
#include "panel_test_support.h"

namespace {

using nlohmann::json;

std::vector<uint8_t> patternBytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    }
    return bytes;
}

TEST(FrameExport, PiecesBreakAtExactlyFourMebicharacters) {
    // 3,145,728 bytes are 4,194,304 base64 characters; one byte more adds a last quad. (Base64
    // text always comes in quads, so 4,194,305 characters can't occur.)
    struct Case {
        size_t bytes;
        std::vector<size_t> pieceLengths;
    };
    const std::vector<Case> cases = {
        {300, {400}},
        {3145728, {4194304}},
        {3145729, {4194304, 4}},
        {3145728 * 2 + 2, {4194304, 4194304, 4}},
    };
    for (const auto& c : cases) {
        HandlerRig rig;
        rig.encoderOutput = patternBytes(c.bytes);
        rig.post({{"type", "export-frame"}, {"ackId", "e"}});
        rig.drain();
        auto calls = rig.pageCalls();
        ASSERT_EQ(calls.size(), c.pieceLengths.size() + 1) << c.bytes;
        std::string joined;
        for (size_t i = 0; i < c.pieceLengths.size(); ++i) {
            EXPECT_EQ(calls[i].name, "__lumivoFrameChunk");
            EXPECT_EQ(calls[i].arguments[0], "e");
            const auto& piece = calls[i].arguments[1].get_ref<const std::string&>();
            EXPECT_EQ(piece.size(), c.pieceLengths[i]) << c.bytes << " piece " << i;
            joined += piece;
        }
        EXPECT_EQ(calls.back().name, "__lumivoFrameAck");
        EXPECT_EQ(calls.back().arguments, json({"e", true, ""}));
        EXPECT_EQ(base64::decode(joined), rig.encoderOutput) << c.bytes;
    }
}

TEST(FrameExport, AnEncoderFailureOrAnEmptyFrameIsTheOnlyAnswer) {
    for (bool emptyFrame : {false, true}) {
        HandlerRig rig;
        if (emptyFrame) {
            rig.handler.retargetAtFrame(PixelBuffer{}, nullptr);
        } else {
            rig.encoderOutput.clear();
        }
        rig.post({{"type", "export-frame"}, {"ackId", 3}});
        rig.drain();
        EXPECT_EQ(rig.encoded.size(), emptyFrame ? 0u : 1u);  // an empty frame isn't encoded
        auto calls = rig.pageCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].name, "__lumivoFrameAck");
        EXPECT_EQ(calls[0].arguments, json({3, false, "PNG encode failed"}));
    }
}

TEST(FrameExport, BackToBackExportsEachGetTheirWholeSequence) {
    HandlerRig rig;
    rig.encoderOutput = patternBytes(3145728 + 30);
    rig.post({{"type", "export-frame"}, {"ackId", "one"}});
    rig.post({{"type", "export-frame"}, {"ackId", "two"}});
    rig.drain();
    std::vector<std::string> sequence;
    for (const auto& call : rig.pageCalls()) {
        sequence.push_back(call.arguments[0].get<std::string>() + ":" + call.name);
    }
    EXPECT_EQ(sequence,
              (std::vector<std::string>{"one:__lumivoFrameChunk", "one:__lumivoFrameChunk",
                                        "one:__lumivoFrameAck", "two:__lumivoFrameChunk",
                                        "two:__lumivoFrameChunk", "two:__lumivoFrameAck"}));
}

TEST(Retarget, TakesTheBytesOverAndTellsThePageLater) {
    HandlerRig rig;
    PixelBuffer next{3000, 2000, std::vector<uint8_t>(3000u * 2000u * 4u, 9)};
    const uint8_t* bytes = next.rgba.data();
    rig.handler.retargetAtFrame(std::move(next), nullptr);
    EXPECT_EQ(rig.frame.width, 3000u);
    EXPECT_EQ(rig.frame.height, 2000u);
    EXPECT_EQ(rig.frame.rgba.data(), bytes);  // moved, not copied
    EXPECT_TRUE(rig.webView->scripts.empty());
    rig.drain();
    ASSERT_EQ(rig.webView->scripts.size(), 1u);
    // Whichever document of the service is shown hears of it: no token is asked for.
    auto guarded = HandlerRig::unguarded(rig.webView->scripts[0]);
    ASSERT_TRUE(guarded);
    EXPECT_EQ(guarded->document, "");
    EXPECT_EQ(guarded->script,
              "window.__lumivoFilterInfo = { width: 3000, height: 2000, editor: \"\", arrival: "
              "\"result\" };"
              "window.__lumivoFrameChanged && window.__lumivoFrameChanged();");
}

// The page learns with each frame which editor it belongs to and how it came, so it can say
// what happened: a picture handed over, what the editor applied, or the panel's own result.
TEST(Retarget, ThePageHearsWhichEditorAFrameIsFromAndHowItArrived) {
    HandlerRig rig;
    struct Case {
        const char* label;
        std::function<void()> install;
        const char* info;
        uint64_t handOffs;
    };
    const Case cases[] = {
        {"a hand-off from GIMP 2.10",
         [&] {
             rig.handler.retargetAtInput(PixelBuffer{4, 3, std::vector<uint8_t>(48, 1)},
                                         FrameSource{12, "/spool/org.gimp.GIMP"}, nullptr,
                                         std::nullopt, FrameArrival::kHandedOff);
         },
         R"({ width: 4, height: 3, editor: "org.gimp.GIMP", arrival: "handed-off" })", 1},
        {"what GIMP applied",
         [&] {
             rig.handler.retargetAtInput(PixelBuffer{4, 3, std::vector<uint8_t>(48, 2)},
                                         FrameSource{12, "/spool/org.gimp.GIMP/"}, nullptr,
                                         std::nullopt, FrameArrival::kApplied);
         },
         R"({ width: 4, height: 3, editor: "org.gimp.GIMP", arrival: "applied" })", 1},
        {"the panel's result keeps the editor of the frame it replaces",
         [&] {
             rig.handler.retargetAtFrame(PixelBuffer{2, 2, std::vector<uint8_t>(16, 3)}, {});
         },
         R"({ width: 2, height: 2, editor: "org.gimp.GIMP", arrival: "result" })", 1},
        {"a name the page must read as text",
         [&] {
             rig.handler.retargetAtInput(PixelBuffer{1, 1, {1, 2, 3, 4}},
                                         FrameSource{0, "/spool/a\"b\u2028"}, nullptr, std::nullopt,
                                         FrameArrival::kHandedOff);
         },
         R"({ width: 1, height: 1, editor: "a\"b\u2028", arrival: "handed-off" })", 2},
    };
    for (const Case& c : cases) {
        rig.webView->scripts.clear();
        c.install();
        rig.drain();
        ASSERT_EQ(rig.webView->scripts.size(), 1u) << c.label;
        EXPECT_EQ(HandlerRig::unguarded(rig.webView->scripts[0])->script,
                  std::string("window.__lumivoFilterInfo = ") + c.info +
                      ";window.__lumivoFrameChanged && window.__lumivoFrameChanged();")
            << c.label;
        EXPECT_EQ(rig.handler.handOffs(), c.handOffs) << c.label;
    }
}

TEST(Retarget, AnExportAfterARetargetSendsTheNewFrame) {
    HandlerRig rig;
    rig.post({{"type", "export-frame"}, {"ackId", "before"}});
    rig.handler.retargetAtFrame(PixelBuffer{1, 1, {1, 2, 3, 4}}, nullptr);
    rig.post({{"type", "export-frame"}, {"ackId", "after"}});
    rig.drain();
    // The first worker had not copied the frame yet when the retarget happened: both see it.
    ASSERT_EQ(rig.encoded.size(), 2u);
    for (const auto& image : rig.encoded) {
        EXPECT_EQ(image.width, 1u);
        EXPECT_EQ(image.rgba, (std::vector<uint8_t>{1, 2, 3, 4}));
    }
    // The page hears of the new size before any export's answer.
    EXPECT_EQ(HandlerRig::unguarded(rig.webView->scripts.front())
                  ->script.rfind("window.__lumivoFilterInfo = { width: 1,", 0),
              0u);
}

TEST(Retarget, ExportCopiesTheFrameAtTheTimeItRuns) {
    HandlerRig rig;
    rig.post({{"type", "export-frame"}, {"ackId", "x"}});
    rig.exportQueue.drain();  // the worker copied the 2x1 start frame
    rig.handler.retargetAtFrame(PixelBuffer{1, 1, {0, 0, 0, 0}}, nullptr);
    rig.drain();
    ASSERT_EQ(rig.encoded.size(), 1u);
    EXPECT_EQ(rig.encoded[0].width, 2u);
    EXPECT_EQ(rig.encoded[0].rgba, std::vector<uint8_t>(8, 7));
    EXPECT_EQ(rig.frame.width, 1u);  // the copy left the current frame alone
}

}  // namespace
