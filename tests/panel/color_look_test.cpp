#include "panel/bridge/color_look.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include <nlohmann/json.hpp>

#include "panel/bridge/look_result.h"
#include "panel_test_support.h"

namespace {

using nlohmann::json;

json tableOf(int (*f)(int)) {
    json out = json::array();
    for (int v = 0; v < 256; ++v) {
        out.push_back(f(v));
    }
    return out;
}
const json kInvert = tableOf([](int v) { return 255 - v; });
const json kIdentity = tableOf([](int v) { return v; });

json curvesStep(const json& table) {
    return {{"curves", {table, table, table}}};
}

TEST(ColorLook, ReadsOnlyLooksOfTheDescribedShape) {
    const json matrix = {{"matrix", {1, 0, 0, 0, 1, 0, 0, 0, 1}}};
    EXPECT_TRUE(parseColorLook({{"steps", {curvesStep(kInvert), matrix}}, {"strength", 0.5}}));
    EXPECT_TRUE(parseColorLook({{"steps", json::array()}}));
    EXPECT_TRUE(parseColorLook(json::object()));
    EXPECT_EQ(parseColorLook({{"steps", {matrix}}})->strength, 1);

    json shortTable = kInvert;
    shortTable.erase(shortTable.end() - 1);
    json high = kInvert;
    high[7] = 256;
    json negative = kInvert;
    negative[0] = -1;
    json fraction = kInvert;
    fraction[3] = 1.5;
    json text = kInvert;
    text[3] = "3";
    const std::vector<json> refused = {
        nullptr,
        "look",
        json::array(),
        {{"steps", "curves"}},
        {{"steps", {curvesStep(shortTable)}}},
        {{"steps", {curvesStep(high)}}},
        {{"steps", {curvesStep(negative)}}},
        {{"steps", {curvesStep(fraction)}}},
        {{"steps", {curvesStep(text)}}},
        {{"steps", {{{"curves", {kInvert, kInvert}}}}}},
        {{"steps", {{{"matrix", {1, 0, 0, 0, 1, 0, 0, 0}}}}}},
        {{"steps", {{{"matrix", {1, 0, 0, 0, 1, 0, 0, 0, "1"}}}}}},
        {{"steps",
          {{{"matrix", {1, 0, 0, 0, 1, 0, 0, 0, std::numeric_limits<double>::infinity()}}}}}},
        {{"steps", {{{"matrix", matrix["matrix"]}, {"curves", {kInvert, kInvert, kInvert}}}}}},
        {{"steps", {{{"blur", 3}}}}},
        {{"steps", {json::array()}}},
        {{"strength", 1.01}},
        {{"strength", -0.01}},
        {{"strength", "1"}},
        {{"steps", json::array()}, {"extra", 1}},
        {{"steps", json(std::vector<json>(kMaxLookSteps + 1, matrix))}},
    };
    for (const json& look : refused) {
        EXPECT_FALSE(parseColorLook(look)) << look.dump().substr(0, 200);
    }
    EXPECT_TRUE(parseColorLook({{"steps", json(std::vector<json>(kMaxLookSteps, matrix))}}));
}

// One pixel through a look.
std::vector<uint8_t> looked(const json& look, std::vector<uint8_t> pixel) {
    auto parsed = parseColorLook(look);
    EXPECT_TRUE(parsed) << look.dump().substr(0, 200);
    const PixelBuffer out = applyColorLook(PixelBuffer{1, 1, std::move(pixel)}, *parsed);
    return out.rgba;
}

TEST(ColorLook, StoresEachValueAsAClampedByteArrayDoes) {
    struct Case {
        const char* what;
        json look;
        std::vector<uint8_t> in, out;
    };
    const std::vector<Case> cases = {
        {"curves, alpha kept",
         {{"steps", {curvesStep(kInvert)}}},
         {10, 20, 30, 77},
         {245, 235, 225, 77}},
        {"halves round to even",
         {{"steps", {{{"matrix", {0.5, 0, 0, 0, 0.5, 0, 0, 0, 0.5}}}}}},
         {5, 7, 9, 255},
         {2, 4, 4, 255}},
        {"sums clamp",
         {{"steps", {{{"matrix", {2, 0, 0, -1, 0, 0, 0, 0, 1}}}}}},
         {200, 50, 60, 9},
         {255, 0, 60, 9}},
        {"a channel mixes all three, from the values before the step",
         {{"steps", {{{"matrix", {0, 1, 0, 0, 0, 1, 1, 0, 0}}}}}},
         {1, 2, 3, 255},
         {2, 3, 1, 255}},
        {"blend: original * (1 - s) + edited * s",
         {{"steps", {curvesStep(kInvert)}}, {"strength", 0.25}},
         {0, 11, 255, 255},
         {64, 69, 191, 255}},
        {"blend halves round to even too",
         {{"steps", {curvesStep(kInvert)}}, {"strength", 0.5}},
         {0, 1, 2, 255},
         {128, 128, 128, 255}},
        {"strength 0 changes nothing",
         {{"steps", {curvesStep(kInvert)}}, {"strength", 0}},
         {1, 2, 3, 4},
         {1, 2, 3, 4}},
        {"no steps change nothing", {{"steps", json::array()}}, {1, 2, 3, 4}, {1, 2, 3, 4}},
        {"steps run in order",
         {{"steps", {{{"matrix", {0.5, 0, 0, 0, 0.5, 0, 0, 0, 0.5}}}, curvesStep(kInvert)}}},
         {100, 100, 100, 255},
         {205, 205, 205, 255}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(looked(c.look, c.in), c.out) << c.what;
    }
}

// The look as the page runs it, one pixel at a time, written out plainly.
PixelBuffer reference(const PixelBuffer& frame, const ColorLook& look) {
    auto store = [](double v) -> uint8_t {
        return !(v > 0) ? 0 : v >= 255 ? 255 : static_cast<uint8_t>(std::nearbyint(v));
    };
    PixelBuffer out = frame;
    for (size_t i = 0; i < out.rgba.size(); i += 4) {
        uint8_t* d = &out.rgba[i];
        if (look.steps.empty() || !(look.strength > 0)) {
            continue;
        }
        for (const auto& step : look.steps) {
            if (!step.isMatrix) {
                for (int c = 0; c < 3; ++c) {
                    d[c] = step.curves[c][d[c]];
                }
                continue;
            }
            const double r = d[0], g = d[1], b = d[2];
            const auto& m = step.matrix;
            d[0] = store(m[0] * r + m[1] * g + m[2] * b);
            d[1] = store(m[3] * r + m[4] * g + m[5] * b);
            d[2] = store(m[6] * r + m[7] * g + m[8] * b);
        }
        if (look.strength < 1) {
            const double s = look.strength, t = 1 - look.strength;
            for (int c = 0; c < 3; ++c) {
                d[c] = store(frame.rgba[i + c] * t + d[c] * s);
            }
        }
    }
    return out;
}

TEST(ColorLook, AFrameOnTwoThreadsMatchesThePixelByPixelLook) {
    std::mt19937 random(7);
    PixelBuffer frame{1024, 1100, std::vector<uint8_t>(size_t{1024} * 1100 * 4)};
    for (auto& byte : frame.rgba) {
        byte = static_cast<uint8_t>(random());
    }
    auto randomTable = [&random] {
        json table = json::array();
        for (int v = 0; v < 256; ++v) {
            table.push_back(random() % 256);
        }
        return table;
    };
    auto randomMatrix = [&random] {
        json m = json::array();
        for (int k = 0; k < 9; ++k) {
            m.push_back(static_cast<double>(random() % 4001) / 1000.0 - 2.0);
        }
        return json{{"matrix", m}};
    };
    const std::vector<json> looks = {
        // Curves alone fold into one table per channel, blend included.
        {{"steps",
          {{{"curves", {randomTable(), randomTable(), randomTable()}}}, curvesStep(kInvert)}},
         {"strength", 0.3}},
        {{"steps", {{{"curves", {randomTable(), kIdentity, randomTable()}}}}}},
        {{"steps", {curvesStep(randomTable()), randomMatrix(), curvesStep(randomTable())}},
         {"strength", 0.7}},
        {{"steps", {randomMatrix(), randomMatrix()}}},
    };
    for (const json& description : looks) {
        const ColorLook look = *parseColorLook(description);
        const PixelBuffer out = applyColorLook(frame, look);
        const PixelBuffer expected = reference(frame, look);
        ASSERT_EQ(out.width, frame.width);
        ASSERT_EQ(out.height, frame.height);
        size_t differing = 0;
        for (size_t i = 0; i < out.rgba.size(); ++i) {
            differing += out.rgba[i] != expected.rgba[i];
        }
        EXPECT_EQ(differing, 0u) << description.dump().substr(0, 120);
    }
}

// --- "apply-look" through the handler ---

struct LookModules final : ApplyRequests {
    std::vector<nlohmann::json> ackIds;
    std::vector<ResultProducer> producers;
    void handleApplyResult(const json&, std::string) override {}
    void handleAccessibilityRepair(const json&) override {}
    void handleApplyResultFrom(const json& ackId, ResultProducer produce) override {
        ackIds.push_back(pageAckId(ackId));
        producers.push_back(std::move(produce));
    }
};

struct LookRig : HandlerRig {
    LookModules modules;
    LookRig() {
        frame = PixelBuffer{2, 1, {10, 20, 30, 255, 40, 50, 60, 128}};
        handler.setModules(&modules, nullptr, nullptr);
    }
    json lookMessage(json frameNumber) {
        json message = {
            {"type", "apply-look"}, {"ackId", "k"}, {"look", {{"steps", {curvesStep(kInvert)}}}}};
        if (!frameNumber.is_null()) {
            message["frame"] = frameNumber;
        }
        return message;
    }
};

TEST(ApplyLook, TheResultIsTheLookOfTheFrameThePageShowed) {
    LookRig rig;
    rig.post(rig.lookMessage(1));
    ASSERT_EQ(rig.modules.producers.size(), 1u);
    EXPECT_EQ(rig.modules.ackIds[0], "k");
    EXPECT_TRUE(rig.encoded.empty()) << "made on the apply queue, not on the main thread";
    ProducedResult produced = rig.modules.producers[0]();
    ASSERT_TRUE(produced.file);
    EXPECT_EQ(*produced.file, rig.encoderOutput);
    ASSERT_EQ(rig.encoded.size(), 1u);
    EXPECT_EQ(rig.encoded[0].rgba, (std::vector<uint8_t>{245, 235, 225, 255, 215, 205, 195, 128}));
}

TEST(ApplyLook, AFrameReplacedMeanwhileIsNotUsed) {
    LookRig rig;
    rig.post(rig.lookMessage(1));
    rig.handler.retargetAtFrame(PixelBuffer{1, 1, {1, 2, 3, 4}}, nullptr);
    ProducedResult produced = rig.modules.producers[0]();
    EXPECT_FALSE(produced.file);
    EXPECT_EQ(produced.refusal, kFrameChangedStatus);
    EXPECT_TRUE(rig.encoded.empty());
    // Without a frame number the current frame, whichever it is, takes the look.
    rig.post(rig.lookMessage(nullptr));
    EXPECT_TRUE(rig.modules.producers[1]().file);
}

TEST(ApplyLook, MakingTheResultExportsItsFrame) {
    LookRig rig;
    rig.handler.setInput(&rig.frame, FrameSource{11, "/spool/a"});
    rig.post({{"type", "export-frame"}, {"ackId", "e"}});
    rig.drain();
    rig.handler.retargetAtInput(PixelBuffer{1, 1, {1, 2, 3, 4}}, FrameSource{12, "/spool/b"},
                                nullptr, std::nullopt, FrameArrival::kHandedOff);
    ASSERT_TRUE(rig.handler.lastExportIsFromAnotherSource());
    rig.post(rig.lookMessage(nullptr));
    ASSERT_TRUE(rig.modules.producers[0]().file);
    EXPECT_FALSE(rig.handler.lastExportIsFromAnotherSource());
}

TEST(ApplyLook, AMalformedRequestIsAnsweredAsAResultThatDoesNotDecode) {
    const std::vector<json> frames = {0, -1, "1", 1.5, json::object()};
    for (const json& frameNumber : frames) {
        LookRig rig;
        rig.post(rig.lookMessage(frameNumber));
        json badLook = rig.lookMessage(1);
        badLook["look"]["steps"] = "invert";
        rig.post(badLook);
        json noLook = rig.lookMessage(1);
        noLook.erase("look");
        rig.post(noLook);
        rig.drain();
        EXPECT_TRUE(rig.modules.producers.empty()) << frameNumber;
        const auto calls = rig.pageCalls();
        ASSERT_EQ(calls.size(), 3u);
        for (const auto& call : calls) {
            EXPECT_EQ(call.name, "__lumivoImportAck");
            EXPECT_EQ(call.arguments, json({"k", false, ""}));
        }
    }
}

}  // namespace
