#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fakes/fake_scheme_request.h"
#include "panel/bridge/lanes.h"
#include "panel_test_support.h"

namespace {

using nlohmann::json;

const std::string kOrigin = "https://auth.lumivo.example";

// The base of the lanes the handler gave `document`, taken from its answer.
std::string openLanes(HandlerRig& rig, const std::string& document = HandlerRig::kDocument) {
    rig.webView->scripts.clear();
    rig.post({{"type", "open-lanes"}, {"ackId", "lanes-1"}}, document);
    rig.drain();
    auto calls = rig.pageCalls();
    rig.webView->scripts.clear();
    EXPECT_EQ(calls.size(), 1u);
    if (calls.size() != 1 || calls[0].name != "__lumivoLanesAck") {
        return "";
    }
    // The answer reaches the document that asked, and no other.
    EXPECT_EQ(calls[0].document, document);
    EXPECT_EQ(calls[0].arguments[0], "lanes-1");
    return calls[0].arguments[1].get<std::string>();
}

// One request on the scheme; its answers (none until the workers and main thread have run).
std::shared_ptr<std::vector<SchemeResponse>> ask(HandlerRig& rig, const std::string& uri,
                                                 std::optional<std::string> origin = kOrigin,
                                                 const std::string& method = "GET") {
    auto request = std::make_unique<FakeSchemeRequest>();
    request->requestUri = uri;
    request->requestMethod = method;
    if (origin) {
        request->headers["Origin"] = *origin;
    }
    auto answers = request->answers;
    rig.handler.serveLane(std::move(request));
    return answers;
}

SchemeResponse only(const std::shared_ptr<std::vector<SchemeResponse>>& answers) {
    EXPECT_EQ(answers->size(), 1u);
    return answers->empty() ? SchemeResponse{0, "", {}, {}} : answers->front();
}

TEST(Lanes, TheServiceDocumentFetchesTheFrameFittedWithinItsStage) {
    HandlerRig rig;
    rig.frame = PixelBuffer{2, 1, {10, 20, 30, 255, 50, 60, 70, 255}};
    const std::string base = openLanes(rig);
    ASSERT_EQ(base.rfind("lumivo-lane://panel/", 0), 0u) << base;

    // The frame fits: it comes as it is, raw RGBA, with its size and number.
    auto whole = ask(rig, base + "preview?width=8&height=8&n=3");
    EXPECT_TRUE(whole->empty()) << "made on the workers, answered on the main thread";
    rig.drain();
    SchemeResponse response = only(whole);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.contentType, "application/octet-stream");
    EXPECT_EQ(response.body, rig.frame.rgba);
    EXPECT_EQ(headerOf(response, "Lumivo-Width"), "2");
    EXPECT_EQ(headerOf(response, "Lumivo-Height"), "1");
    EXPECT_EQ(headerOf(response, "Lumivo-Frame"), "1");
    EXPECT_EQ(headerOf(response, "Access-Control-Allow-Origin"), kOrigin);
    EXPECT_EQ(headerOf(response, "Access-Control-Expose-Headers"),
              "Lumivo-Width, Lumivo-Height, Lumivo-Frame");
    EXPECT_EQ(headerOf(response, "Cache-Control"), "no-store");

    // Fitted within a smaller box; a replaced frame comes with its new number.
    rig.handler.retargetAtFrame(PixelBuffer{4, 2, std::vector<uint8_t>(32, 255)}, nullptr);
    auto smaller = ask(rig, base + "preview?height=1&width=3");
    rig.drain();
    response = only(smaller);
    EXPECT_EQ(headerOf(response, "Lumivo-Width"), "2");
    EXPECT_EQ(headerOf(response, "Lumivo-Height"), "1");
    EXPECT_EQ(headerOf(response, "Lumivo-Frame"), "2");
    EXPECT_EQ(response.body, std::vector<uint8_t>(8, 255));
}

TEST(Lanes, APreviewIsNoExport) {
    HandlerRig rig;
    rig.handler.setInput(&rig.frame, FrameSource{11, "/spool/a"});
    rig.post({{"type", "export-frame"}, {"ackId", "e"}});
    rig.drain();
    rig.handler.retargetAtInput(PixelBuffer{1, 1, {1, 2, 3, 4}}, FrameSource{12, "/spool/b"},
                                nullptr, std::nullopt, FrameArrival::kHandedOff);
    ASSERT_TRUE(rig.handler.lastExportIsFromAnotherSource());
    const std::string base = openLanes(rig);
    auto answers = ask(rig, base + "preview?width=1&height=1");
    rig.drain();
    EXPECT_EQ(only(answers).status, 200);
    // A result made from the exported frame still may not land in the new frame's document.
    EXPECT_TRUE(rig.handler.lastExportIsFromAnotherSource());
}

TEST(Lanes, RefusesEveryRequestTheBridgeWouldNotServe) {
    HandlerRig rig;
    const std::string base = openLanes(rig);
    const std::string key = base.substr(std::string("lumivo-lane://panel/").size(), 32);
    const std::string stale = std::string(32, 'f');
    struct Case {
        std::optional<std::string> origin;
        std::string uri;
        std::string method;
        int status;
        bool readable;  // whether the refusal carries CORS headers the page may read it by
    };
    const std::string size = "preview?width=4&height=4";
    const std::vector<Case> cases = {
        // Not a document of the service: no answer it could read, whatever it knows.
        {std::nullopt, base + size, "GET", 403, false},
        {"https://foreign.example", base + size, "GET", 403, false},
        {"http://auth.lumivo.example", base + size, "GET", 403, false},
        {"https://cdn.lumivo.example", base + size, "GET", 403, false},
        {"https://auth.lumivo.example.evil.com", base + size, "GET", 403, false},
        {"null", base + size, "GET", 403, false},
        {"", base + size, "GET", 403, false},
        // The service's origin without a key it was given.
        {kOrigin, "lumivo-lane://panel/" + stale + "/" + size, "GET", 403, true},
        {kOrigin, "lumivo-lane://panel/" + key.substr(0, 31) + "/" + size, "GET", 403, true},
        {kOrigin, "lumivo-lane://panel/" + size, "GET", 403, true},
        {kOrigin, "lumivo-lane://other/" + key + "/" + size, "GET", 403, true},
        {kOrigin, "lumivo-lane://panel//" + key + "/" + size, "GET", 403, true},
        // Known key, but nothing there, not a fetch, or no size the lane can make.
        {kOrigin, base + "frame", "GET", 404, true},
        {kOrigin, base + "preview/x?width=4&height=4", "GET", 404, true},
        {kOrigin, base, "GET", 404, true},
        {kOrigin, base + size, "POST", 405, true},
        {kOrigin, base + size, "PUT", 405, true},
        {kOrigin, base + "preview?width=4", "GET", 400, true},
        {kOrigin, base + "preview", "GET", 400, true},
        {kOrigin, base + "preview?width=0&height=4", "GET", 400, true},
        {kOrigin, base + "preview?width=8193&height=4", "GET", 400, true},
        {kOrigin, base + "preview?width=99999999999&height=4", "GET", 400, true},
        {kOrigin, base + "preview?width=-4&height=4", "GET", 400, true},
        {kOrigin, base + "preview?width=4e2&height=4", "GET", 400, true},
        {kOrigin, base + "preview?width=%34&height=4", "GET", 400, true},
        {kOrigin, base + "preview?width=&height=4", "GET", 400, true},
        {kOrigin, base + "preview?width=4&height=4&width=5", "GET", 400, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.origin.value_or("(no origin)") + " " + c.method + " " + c.uri);
        auto answers = ask(rig, c.uri, c.origin, c.method);
        // Refused at once, without touching the frame.
        ASSERT_EQ(answers->size(), 1u);
        EXPECT_EQ(answers->front().status, c.status);
        EXPECT_TRUE(answers->front().body.empty());
        EXPECT_EQ(headerOf(answers->front(), "Access-Control-Allow-Origin"),
                  c.readable ? kOrigin : "");
        EXPECT_EQ(rig.exportQueue.pending(), 0u);
    }
    // Members it doesn't know are left alone.
    auto answers = ask(rig, base + "preview?n=1&width=4&x&height=4&y=z");
    rig.drain();
    EXPECT_EQ(only(answers).status, 200);
}

TEST(Lanes, KeysBelongToTheirDocumentAndOnlyTheNewestFewLast) {
    HandlerRig rig;
    auto status = [&rig](const std::string& base) {
        auto answers = ask(rig, base + "preview?width=1&height=1");
        rig.drain();
        return only(answers).status;
    };
    const std::string first = openLanes(rig, "00000000000000000000000000000001");
    const std::string again = openLanes(rig, "00000000000000000000000000000001");
    EXPECT_NE(first, again);
    EXPECT_EQ(status(first), 403) << "a document's new key replaces its old one";
    EXPECT_EQ(status(again), 200);
    std::vector<std::string> bases{again};
    for (size_t i = 2; i <= PanelLanes::kMaxDocuments; ++i) {
        bases.push_back(openLanes(rig, std::string(31, '0') + std::to_string(i)));
    }
    for (const auto& base : bases) {
        EXPECT_EQ(status(base), 200);
    }
    openLanes(rig, std::string(32, 'a'));
    EXPECT_EQ(status(bases[0]), 403) << "the oldest document's key went";
    EXPECT_EQ(status(bases[1]), 200);
}

TEST(Lanes, OnlyAFewPreviewsAreMadeAtOnce) {
    HandlerRig rig;
    const std::string base = openLanes(rig);
    std::vector<std::shared_ptr<std::vector<SchemeResponse>>> waiting;
    for (size_t i = 0; i < PanelLanes::kMaxPending; ++i) {
        waiting.push_back(ask(rig, base + "preview?width=1&height=1"));
    }
    auto refused = ask(rig, base + "preview?width=1&height=1");
    ASSERT_EQ(refused->size(), 1u);
    EXPECT_EQ(refused->front().status, 503);
    rig.drain();
    for (const auto& answers : waiting) {
        EXPECT_EQ(only(answers).status, 200);
    }
    auto later = ask(rig, base + "preview?width=1&height=1");
    rig.drain();
    EXPECT_EQ(only(later).status, 200);
}

}  // namespace
