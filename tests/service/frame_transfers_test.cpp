#include "panel/service/frame_transfers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fakes/fake_frame_access.h"
#include "fakes/fake_http.h"
#include "fakes/fake_page_caller.h"
#include "fakes/manual_queue.h"

namespace {

using nlohmann::json;

const std::string kPngHead("\x89PNG\r\n\x1a\n", 8);
const std::string kSignedUrl = "https://storage.googleapis.com/b/o?X-Goog-Signature=ab";
const std::string kResultUrl = "https://cdn.lumivo.example/results/c-1.png";

// The apply module: keeps each produced result it is handed, and on which thread it came.
struct RecordingApply final : ApplyRequests {
    std::vector<json> ackIds;
    std::vector<ResultProducer> producers;
    void handleApplyResult(const json&, std::string) override {}
    void handleAccessibilityRepair(const json&) override {}
    void handleApplyResultFrom(const json& ackId, ResultProducer produce) override {
        ackIds.push_back(ackId);
        producers.push_back(std::move(produce));
    }
};

struct TransfersRig {
    FakePageCaller page;
    FakeFrameAccess frames;
    RecordingApply apply;
    FakeHttp http;
    ManualQueue main;
    ManualQueue workers;
    std::vector<PixelBuffer> encoded;
    FrameTransfers transfers{
        page, frames, apply, http, main, workers, [this](const PixelBuffer& image) {
            encoded.push_back(image);
            return std::vector<uint8_t>{'p', 'n', 'g'};
        }};

    std::vector<json> answers(const char* name) {
        std::vector<json> found;
        for (const auto& call : page.taken()) {
            EXPECT_EQ(call.name, name);
            found.push_back(call.arguments);
        }
        return found;
    }
};

TEST(UploadFrame, SendsTheFramesOwnFileAsItIs) {
    TransfersRig rig;
    rig.frames.file = std::make_shared<const std::vector<uint8_t>>(std::vector<uint8_t>{7, 8, 9});
    rig.transfers.handleUploadFrame("u1", kSignedUrl, "image/png", "");
    rig.workers.drain();
    ASSERT_EQ(rig.http.sent.size(), 1u);
    const HttpRequest& sent = rig.http.sent.front().request;
    EXPECT_EQ(sent.method, "PUT");
    EXPECT_EQ(sent.url.original(), kSignedUrl);
    EXPECT_EQ(sent.headers, (decltype(sent.headers){{"Content-Type", "image/png"}}));
    EXPECT_EQ(sent.body, (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_TRUE(rig.encoded.empty());
    // The upload counts as an export: a result made from it belongs to this frame's source.
    EXPECT_EQ(rig.frames.uses, std::vector<FrameUse>{FrameUse::result});
    EXPECT_EQ(rig.frames.taken, std::vector<bool>{true});
    rig.http.answer(204, "");
    EXPECT_EQ(rig.answers("__lumivoUploadAck"), (std::vector<json>{{"u1", true, 204}}));
}

TEST(UploadFrame, EncodesAFrameWithoutAFileAndNamesTheFrameItShowed) {
    TransfersRig rig;
    rig.frames.serial = 4;
    rig.transfers.handleUploadFrame("u2", kSignedUrl, "image/png", 4);
    rig.workers.drain();
    ASSERT_EQ(rig.encoded.size(), 1u);
    EXPECT_EQ(rig.encoded[0].rgba, rig.frames.frame.rgba);
    ASSERT_EQ(rig.http.sent.size(), 1u);
    EXPECT_EQ(rig.http.sent.front().request.body, (std::vector<uint8_t>{'p', 'n', 'g'}));
    rig.http.answer(403, "");
    EXPECT_EQ(rig.answers("__lumivoUploadAck"), (std::vector<json>{{"u2", false, 403}}));
}

TEST(UploadFrame, RefusesBeforeAnyTrafficAndWhenTheFrameWasReplaced) {
    struct Case {
        json url;
        json contentType;
        json frame;
    };
    const std::vector<Case> refused = {
        {"http://storage.googleapis.com/b/o", "image/png", ""},
        {"https://evil.com/upload", "image/png", ""},
        {"https://user@storage.googleapis.com/b/o", "image/png", ""},
        {42, "image/png", ""},
        {kSignedUrl, "image/png\r\nX-Injected: 1", ""},
        {kSignedUrl, "image/png", 0},
        {kSignedUrl, "image/png", -1},
        {kSignedUrl, "image/png", "1"},
        {kSignedUrl, "image/png", 1.5},
        {kSignedUrl, "image/png", 2},  // the page showed frame 2; frame 1 is current
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(json::array({c.url, c.contentType, c.frame}).dump());
        TransfersRig rig;
        rig.transfers.handleUploadFrame("r", c.url, c.contentType, c.frame);
        rig.workers.drain();
        EXPECT_TRUE(rig.http.sent.empty());
        EXPECT_EQ(rig.answers("__lumivoUploadAck"), (std::vector<json>{{"r", false, 0}}));
        // A frame turned down is no export.
        EXPECT_EQ(std::count(rig.frames.taken.begin(), rig.frames.taken.end(), true), 0);
    }
    TransfersRig failing;
    failing.transfers.handleUploadFrame("t", kSignedUrl, "image/png", "");
    failing.workers.drain();
    failing.http.fail("no route");
    EXPECT_EQ(failing.answers("__lumivoUploadAck"), (std::vector<json>{{"t", false, 0}}));
}

TEST(ApplyUrl, FetchesTheCdnResultBoundedAndHandsItToTheApplyRoad) {
    for (const std::string& body : {kPngHead + "rest", std::string("\xff\xd8\xff\xe0 jpeg")}) {
        TransfersRig rig;
        rig.transfers.handleApplyUrl("a1", kResultUrl);
        ASSERT_EQ(rig.http.sent.size(), 1u);
        const HttpRequest& sent = rig.http.sent.front().request;
        EXPECT_EQ(sent.method, "GET");
        EXPECT_TRUE(sent.headers.empty());
        EXPECT_TRUE(sent.body.empty());
        EXPECT_EQ(sent.maxResponseBytes, kMaxResultDownloadBytes);
        rig.http.answer(200, body);
        // The apply module hears of it on the main thread, not the transport's.
        EXPECT_TRUE(rig.apply.producers.empty());
        rig.main.drain();
        ASSERT_EQ(rig.apply.producers.size(), 1u);
        EXPECT_EQ(rig.apply.ackIds[0], "a1");
        ProducedResult produced = rig.apply.producers[0]();
        ASSERT_TRUE(produced.file);
        EXPECT_EQ(std::string(produced.file->begin(), produced.file->end()), body);
        EXPECT_TRUE(rig.page.taken().empty());
    }
}

TEST(ApplyUrl, AnythingButAnImageFromTheCdnIsADownloadFailure) {
    const std::vector<json> refusedUrls = {"http://cdn.lumivo.example/r.png",
                                           "https://cdn.lumivo.example:8443/r.png",
                                           "https://auth.lumivo.example/r.png",
                                           "https://user@cdn.lumivo.example/r.png",
                                           "https://cdn.lumivo.example.evil.com/r.png",
                                           "",
                                           nullptr,
                                           5};
    for (const json& url : refusedUrls) {
        SCOPED_TRACE(url.dump());
        TransfersRig rig;
        rig.transfers.handleApplyUrl("d", url);
        EXPECT_TRUE(rig.http.sent.empty());
        EXPECT_EQ(rig.answers("__lumivoImportAck"),
                  (std::vector<json>{{"d", false, kDownloadFailedStatus}}));
    }
    struct Answer {
        bool transportError;
        long status;
        std::string body;
    };
    const std::vector<Answer> failures = {
        {true, 0, ""},           {false, 404, kPngHead},     {false, 301, kPngHead},
        {false, 200, ""},        {false, 200, "GIF89a...."}, {false, 200, "<html>"},
        {false, 200, "\x89PNG"}, {false, 206, "\xff\xd8"},
    };
    for (const Answer& a : failures) {
        SCOPED_TRACE(std::to_string(a.status) + " " + a.body);
        TransfersRig rig;
        rig.transfers.handleApplyUrl("d", kResultUrl);
        HttpResponse response;
        response.transportError = a.transportError;
        response.status = a.status;
        response.body = a.body;
        rig.http.answerWith(response);
        rig.main.drain();
        EXPECT_TRUE(rig.apply.producers.empty());
        EXPECT_EQ(rig.answers("__lumivoImportAck"),
                  (std::vector<json>{{"d", false, kDownloadFailedStatus}}));
    }
}

}  // namespace
