#include <string>

#include "service/service_test_support.h"

namespace {

using nlohmann::json;

struct UploadTest : ServiceFixture {
    json ack(const json& ackId, bool ok, long status) { return json::array({ackId, ok, status}); }
};

TEST_F(UploadTest, RefusedRequestsAreAnsweredAtOnceAndSendNothing) {
    const struct {
        json url;
        json contentType;
        json base64;
    } refused[] = {
        {"", "image/png", "AAAA"},
        {"http://lumivo.example/u", "image/png", "AAAA"},
        {"https://u:p@lumivo.example/u", "image/png", "AAAA"},
        {"https://x.storage.googleapis.com/u", "image/png", "AAAA"},
        {"https://evil.example/u", "image/png", "AAAA"},
        {17, "image/png", "AAAA"},
        {"https://lumivo.example/u", "image/png", "AAAA\nAAAA"},
        {"https://lumivo.example/u", "image/png", "AAA"},
        {"https://lumivo.example/u", "image/png", "AA AA"},
        {"https://lumivo.example/u", "image/png", 12},
        {"https://lumivo.example/u", "image/png\r\nX-Injected: 1", "AAAA"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.url.dump() + " " + c.base64.dump());
        module.handleUploadPut("u", c.url, c.contentType, c.base64);
        EXPECT_EQ(page.taken().size(), 1u);  // answered before any queue ran
        EXPECT_TRUE(http->sent.empty());
    }
    module.handleUploadPut("u", "", "", "");
    EXPECT_EQ(page.taken()[0].arguments, ack("u", false, 0));
}

TEST_F(UploadTest, SendsOnePutWithOnlyTheContentType) {
    module.handleUploadPut(9, "HTTPS://Bucket.Lumivo.Example:8443/a/b?sig=x%2By", "image/png; q=1",
                           "aGVsbG8=");
    ASSERT_EQ(http->sent.size(), 1u);
    const HttpRequest& request = http->sent[0].request;
    EXPECT_EQ(request.method, "PUT");
    EXPECT_EQ(request.url.original(), "HTTPS://Bucket.Lumivo.Example:8443/a/b?sig=x%2By");
    EXPECT_EQ(
        request.headers,
        (std::vector<std::pair<std::string, std::string>>{{"Content-Type", "image/png; q=1"}}));
    EXPECT_EQ(std::string(request.body.begin(), request.body.end()), "hello");
    EXPECT_EQ(request.idleTimeout, std::chrono::seconds(180));
    EXPECT_EQ(request.maxResponseBytes, 0u);
}

TEST_F(UploadTest, TheAnswerCarriesTheStatus) {
    const struct {
        bool transportError;
        long status;
        json answer;
    } cases[] = {
        {false, 200, json::array({"u", true, 200})},  {false, 204, json::array({"u", true, 204})},
        {false, 299, json::array({"u", true, 299})},  {false, 300, json::array({"u", false, 300})},
        {false, 403, json::array({"u", false, 403})}, {true, 0, json::array({"u", false, 0})},
    };
    for (const auto& c : cases) {
        module.handleUploadPut("u", "https://storage.googleapis.com/b/o", "", "");
        HttpResponse response;
        response.transportError = c.transportError;
        response.status = c.status;
        http->answerWith(response);  // answered from the transport's thread, no queue needed
        auto calls = page.taken();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].name, "__lumivoUploadAck");
        EXPECT_EQ(calls[0].arguments, c.answer);
    }
}

TEST_F(ServiceFixture, ExternalLinksOpenOnlyTheFourHosts) {
    const json links[] = {
        "https://www.lumivo.example/help?topic=a#top",
        "HTTPS://CDN.LUMIVO.EXAMPLE/a.png",
        "http://lumivo.example/",
        "https://user@auth.lumivo.example/",
        "https://shop.lumivo.example/",
        "https://storage.googleapis.com/b",
        "",
        42,
        "https://lumivo.example/x",
    };
    for (const auto& link : links) {
        module.handleOpenExternal(link);
    }
    EXPECT_EQ(opener->opened, (std::vector<std::string>{
                                  "https://www.lumivo.example/help?topic=a#top",
                                  "https://CDN.LUMIVO.EXAMPLE/a.png",
                                  "https://lumivo.example/x",
                              }));
    main.drain();
    EXPECT_TRUE(page.taken().empty());
}

}  // namespace
