// Who may speak for the service's page, and which document hears the answers.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "panel/bridge/page_origin.h"
#include "panel/bridge/page_scripts.h"
#include "panel/bridge/result_chunks.h"
#include "panel/bridge/script_message.h"
#include "panel_test_support.h"

namespace {

using nlohmann::json;

const std::string kToken = "00112233445566778899aabbccddeeff";

std::string sent(const json& body, const json& token = kToken) {
    return json::array({token, body}).dump();
}

TEST(PageSender, OnlyTheTopLevelDocumentOfAServiceOriginIsServed) {
    const std::vector<std::pair<std::string, bool>> origins = {
        {"https://auth.lumivo.example", true},
        {"https://www.lumivo.example", true},
        {"https://lumivo.example", true},
        // An origin is scheme, host and port: only the default port, which is never spelled out.
        {"https://auth.lumivo.example:8443", false},
        {"https://www.lumivo.example:444", false},
        {"https://lumivo.example:80", false},
        {"https://auth.lumivo.example:443", false},
        {"https://auth.lumivo.example:0443", false},
        {"http://auth.lumivo.example", false},
        {"https://cdn.lumivo.example", false},
        {"https://other.lumivo.example", false},
        {"https://auth.lumivo.example.evil.example", false},
        {"https://evillumivo.example", false},
        {"https://AUTH.LUMIVO.EXAMPLE", false},
        {"https://storage.googleapis.com", false},
        {"https://auth.lumivo.example:", false},
        {"https://auth.lumivo.example:123456", false},
        {"https://auth.lumivo.example:44a", false},
        {"https://auth.lumivo.example/", false},
        {"https://user@auth.lumivo.example", false},
        {"null", false},
        {"data:", false},
        {"", false},
    };
    const json body = {{"type", "auth-refresh"}, {"ackId", "a"}};
    for (const auto& [origin, served] : origins) {
        EXPECT_EQ(isServiceOrigin(origin), served) << origin;
        EXPECT_EQ(acceptPageMessage(origin, true, sent(body)).has_value(), served) << origin;
        EXPECT_FALSE(acceptPageMessage(origin, false, sent(body))) << origin << " in a frame";
    }
    auto accepted = acceptPageMessage("https://auth.lumivo.example", true, sent(body));
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->document, kToken);
    EXPECT_EQ(accepted->body, body);
}

TEST(PageSender, TextOfAnotherShapeIsDropped) {
    const json body = {{"type", "debug-log"}};
    const std::vector<std::string> malformed = {
        body.dump(),
        json::array({kToken}).dump(),
        json::array({kToken, body, 1}).dump(),
        sent("export-frame"),
        sent(json::array({body})),
        sent(body, "0011"),
        sent(body, "00112233445566778899AABBCCDDEEFF"),
        sent(body, "00112233445566778899aabbccddeefg"),
        sent(body, 7),
        "[\"" + kToken + "\",",
        std::string(kMaxScriptMessageDepth + 2, '['),
    };
    for (const auto& text : malformed) {
        EXPECT_FALSE(acceptPageMessage("https://auth.lumivo.example", true, text)) << text;
    }
}

TEST(PageAnswers, EachAnswerIsBoundToTheDocumentThatAsked) {
    HandlerRig rig;
    const std::string other = "ffeeddccbbaa99887766554433221100";
    rig.post({{"type", "export-frame"}, {"ackId", "x"}});
    rig.post({{"type", "export-frame"}, {"ackId", "x"}}, other);
    rig.post({{"type", "apply-result"}, {"ackId", "y"}}, other);  // unwired: answered at once
    rig.handler.callAck("__lumivoNotificationClick", json::array({"creation-1"}));
    rig.drain();
    std::vector<std::pair<std::string, std::string>> seen;
    for (const auto& call : rig.pageCalls()) {
        seen.emplace_back(call.name + " " + call.arguments[0].dump(), call.document);
    }
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"__lumivoFrameChunk \"x\"", HandlerRig::kDocument},
        {"__lumivoFrameAck \"x\"", HandlerRig::kDocument},
        {"__lumivoFrameChunk \"x\"", other},
        {"__lumivoFrameAck \"x\"", other},
        {"__lumivoImportAck \"y\"", other},
        {"__lumivoNotificationClick \"creation-1\"", ""},  // answers no request: any service page
    };
    auto sorted = [](auto list) {
        std::sort(list.begin(), list.end());
        return list;
    };
    EXPECT_EQ(sorted(seen), sorted(expected));
}

TEST(PageAnswers, TheGuardAsksForHttpsOnAServiceHostOnTheDefaultPortAndTheToken) {
    std::string script;
    openDocumentGuard(script, &kToken);
    script += "f()";
    closeDocumentGuard(script);
    EXPECT_EQ(script,
              "if (window.location.protocol === \"https:\" && (window.location.hostname === "
              "\"lumivo.example\" || window.location.hostname === \"www.lumivo.example\" || "
              "window.location.hostname === \"auth.lumivo.example\") && window.location.port === "
              "\"\" && window.__lumivoDocument === \"" +
                  kToken + "\") {f()}");
}

TEST(ResultChunks, TextsCountAndTotalAreBoundedAndADroppedResultDoesNotDecode) {
    ResultChunks chunks(10);
    chunks.append("a", "12345");
    chunks.append("b", "123");
    chunks.append("a", "123");  // the total would pass 10: a's buffer goes
    chunks.append("a", "1");    // and takes no more pieces
    EXPECT_EQ(chunks.pendingCharacters(), 3u);
    EXPECT_EQ(chunks.take("a"), "");
    chunks.append("b", "4567");
    EXPECT_EQ(chunks.take("b"), "1234567");
    EXPECT_EQ(chunks.pendingCharacters(), 0u);

    chunks.append("c", std::string(11, 'x'));  // alone longer than the bound
    EXPECT_EQ(chunks.take("c"), "");

    for (size_t i = 0; i < ResultChunks::kMaxPendingResults + 5; ++i) {
        chunks.append("id-" + std::to_string(i), "z");
    }
    EXPECT_EQ(chunks.pendingResults(), ResultChunks::kMaxPendingResults);
    EXPECT_EQ(chunks.take("id-0"), "z");
    EXPECT_EQ(chunks.take("id-" + std::to_string(ResultChunks::kMaxPendingResults)), "");
    EXPECT_EQ(ResultChunks::kMaxCharacters, 1431655768u);  // base64 of a 1 GiB file
}

TEST(ResultChunks, TheLimitFollowsTheFrameBetweenAFloorAndACeiling) {
    const size_t floor = (ResultChunks::kMinResultBytes + 2) / 3 * 4;
    const struct {
        uint32_t width, height;
        size_t least, most;
    } frames[] = {
        {0, 0, floor, floor},
        {1250, 800, floor, floor},
        // 24 MP: room for its 16-bit pixels stored uncompressed (256 M characters), no more
        // than a fifth above that.
        {6000, 4000, 256'005'336, 310'000'000},
        {65535, 65535, ResultChunks::kMaxCharacters, ResultChunks::kMaxCharacters},
        {0xffffffff, 0xffffffff, ResultChunks::kMaxCharacters, ResultChunks::kMaxCharacters},
    };
    for (const auto& f : frames) {
        const size_t limit = ResultChunks::maxCharactersFor(f.width, f.height);
        EXPECT_GE(limit, f.least) << f.width << "x" << f.height;
        EXPECT_LE(limit, f.most) << f.width << "x" << f.height;
    }

    // A limit that shrinks with the frame below what is pending drops the next piece's text.
    ResultChunks chunks;
    chunks.append("a", "12345678", 10);
    chunks.append("a", "9", 5);
    EXPECT_EQ(chunks.take("a"), "");
    EXPECT_EQ(chunks.pendingCharacters(), 0u);
}

}  // namespace
