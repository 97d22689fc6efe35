#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "fakes/fake_keychain.h"
#include "fakes/fake_page_caller.h"
#include "fakes/fake_url_opener.h"
#include "fakes/manual_queue.h"
#include "lumivo_test_paths.h"
#include "panel/bridge/base64.h"
#include "panel/service/service_module.h"
#include "platform/linux/curl_http.h"
#include "service/test_processes.h"

namespace {

using namespace test_processes;
using nlohmann::json;

// The local TLS server of https_test_server.py, shared by the tests of this process.
class TlsServer {
  public:
    static TlsServer& get() {
        static TlsServer server;
        return server;
    }
    bool ok() const { return port_ > 0; }
    int port() const { return port_; }
    std::string caFile() const { return dir_ / "ca.pem"; }
    std::string url(const std::string& host, const std::string& path) const {
        return "https://" + host + ":" + std::to_string(port_) + path;
    }
    // The next request the server saw.
    json nextRequest() {
        auto line = child_->readLine();
        return line ? json::parse(*line, nullptr, false) : json();
    }

  private:
    TlsServer() {
        child_ = std::make_unique<ChildProcess>(
            "/usr/bin/python3",
            std::vector<std::string>{LUMIVO_SOURCE_DIR "/tests/service/https_test_server.py",
                                     dir_.path()},
            std::vector<std::string>{}, STDOUT_FILENO);
        auto ready = child_->readLine(std::chrono::seconds(60));  // makes an RSA key pair first
        if (ready && ready->rfind("READY ", 0) == 0) {
            port_ = std::stoi(ready->substr(6));
        }
    }

    TempDir dir_;  // outlives the server
    std::unique_ptr<ChildProcess> child_;
    int port_ = 0;
};

CurlHttpOptions testOptions(bool trustTestCa = true) {
    TlsServer& server = TlsServer::get();
    CurlHttpOptions options;
    for (const char* host : {"auth.lumivo.example", "lumivo.example", "bucket.lumivo.example",
                             "storage.googleapis.com"}) {
        options.resolve.push_back(std::string(host) + ":" + std::to_string(server.port()) +
                                  ":127.0.0.1");
    }
    if (trustTestCa) {
        options.caFile = server.caFile();
    }
    return options;
}

std::vector<std::string> headerNames(const json& request) {
    std::vector<std::string> names;
    for (const auto& header : request["headers"]) {
        names.push_back(header[0]);
    }
    return names;
}

std::string bodyOf(const json& request) {
    if (!request.contains("body")) {
        return "<too long>";
    }
    auto bytes = base64::decode(request["body"].get<std::string>());
    return bytes ? std::string(bytes->begin(), bytes->end()) : "<not base64>";
}

struct HttpsTest : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(TlsServer::get().ok()) << "the TLS server did not start"; }

    void makeModule(CurlHttpOptions options) {
        keychain = new FakeKeychain;
        module = std::make_unique<ServiceModule>(page, main, std::unique_ptr<Keychain>(keychain),
                                                 std::make_unique<CurlHttp>(std::move(options)),
                                                 std::make_unique<FakeUrlOpener>(),
                                                 [] { return 1'700'000'000.0; });
    }
    void saveEndpoint(const std::string& path) {
        module->handleAuthSave("s", {{"tokenEndpoint", server().url("auth.lumivo.example", path)},
                                     {"refreshToken", "secret refresh/token"},
                                     {"clientId", "panel"}});
        page.taken();
    }
    // The refresh's answer, once the transport has handed it to the main queue.
    json refreshAnswer() {
        module->handleAuthRefresh("r");
        EXPECT_TRUE(waitUntil([&] { return main.pending() > 0; }));
        main.drain();
        auto calls = page.taken();
        return calls.size() == 1 ? calls[0].arguments : json();
    }
    // The upload's answer, called straight from the transport's thread.
    json uploadAnswer(const std::string& url, const std::string& type, const std::string& b64) {
        module->handleUploadPut("u", url, type, b64);
        EXPECT_TRUE(waitUntil([&] {
            std::lock_guard lock(page.mutex);
            return !page.calls.empty();
        }));
        auto calls = page.taken();
        return calls.size() == 1 ? calls[0].arguments : json();
    }
    static TlsServer& server() { return TlsServer::get(); }

    FakePageCaller page;
    ManualQueue main;
    FakeKeychain* keychain = nullptr;
    std::unique_ptr<ServiceModule> module;
};

TEST_F(HttpsTest, RefreshSendsExactlyTheGrantAndStoresTheRotatedToken) {
    makeModule(testOptions());
    // User information in the endpoint is allowed, but is sent as no header.
    module->handleAuthSave(
        "s", {{"tokenEndpoint", server().url("user:pw@auth.lumivo.example", "/token/ok")},
              {"refreshToken", "secret refresh/token"},
              {"clientId", "panel"}});
    EXPECT_EQ(page.taken()[0].arguments, json::array({"s", true, ""}));
    EXPECT_EQ(refreshAnswer(),
              json::array({"r", true, R"({"accessToken":"A","expiresAt":1700003600000})"}));
    const json request = server().nextRequest();
    EXPECT_EQ(request["method"], "POST");
    EXPECT_EQ(request["path"], "/token/ok");
    EXPECT_EQ(
        headerNames(request),
        (std::vector<std::string>{"Host", "Content-Type", "X-Tessor-Client", "Content-Length"}));
    EXPECT_EQ(request["headers"][1][1], "application/x-www-form-urlencoded");
    EXPECT_EQ(request["headers"][2][1], "plugin:affinity");
    EXPECT_EQ(bodyOf(request),
              "grant_type=refresh_token&client_id=panel&refresh_token=secret%20refresh%2Ftoken");
    EXPECT_EQ(json::parse(*keychain->item)["refreshToken"], "rt-2");
}

TEST_F(HttpsTest, RefreshAnswersForRefusalsAndBadBodies) {
    makeModule(testOptions());
    saveEndpoint("/token/not-json");
    EXPECT_EQ(refreshAnswer(), json::array({"r", false, "Token refresh failed (HTTP 200)"}));
    server().nextRequest();

    saveEndpoint("/token/huge");  // larger than any token answer may be
    EXPECT_EQ(refreshAnswer()[1], false);
    server().nextRequest();

    saveEndpoint("/token/invalid-grant");
    EXPECT_EQ(refreshAnswer(), json::array({"r", true, "null"}));
    EXPECT_FALSE(keychain->item);
    server().nextRequest();
}

TEST_F(HttpsTest, TransportFailuresNeverCarryTheTokenOrTheUrl) {
    makeModule(testOptions());
    saveEndpoint("/garbage");
    json answer = refreshAnswer();
    server().nextRequest();
    makeModule(testOptions(/*trustTestCa=*/false));  // the server's certificate is not trusted
    saveEndpoint("/token/ok");
    json untrusted = refreshAnswer();
    for (const json& a : {answer, untrusted}) {
        ASSERT_EQ(a.size(), 3u);
        EXPECT_EQ(a[1], false);
        const std::string text = a[2];
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find("secret"), std::string::npos) << text;
        EXPECT_EQ(text.find("lumivo"), std::string::npos) << text;
    }
    EXPECT_TRUE(keychain->item);
}

TEST_F(HttpsTest, AStalledServerEndsTheRequestAtTheIdleTimeOut) {
    CurlHttpOptions options = testOptions();
    options.idleTimeout = std::chrono::seconds(1);
    makeModule(options);
    saveEndpoint("/slow");
    EXPECT_EQ(refreshAnswer(), json::array({"r", false, "The request timed out"}));
    server().nextRequest();
}

TEST_F(HttpsTest, UploadPutsTheBytesWithOnlyTheContentType) {
    makeModule(testOptions());
    const std::string big(3 << 20, 'x');  // large enough for curl to think of "Expect"
    const std::string encoded =
        base64::encode(reinterpret_cast<const uint8_t*>(big.data()), big.size());
    EXPECT_EQ(uploadAnswer(server().url("bucket.lumivo.example", "/status/204?sig=a%2Bb"),
                           "application/octet-stream", encoded),
              json::array({"u", true, 204}));
    const json request = server().nextRequest();
    EXPECT_EQ(request["method"], "PUT");
    EXPECT_EQ(request["path"], "/status/204?sig=a%2Bb");
    EXPECT_EQ(headerNames(request),
              (std::vector<std::string>{"Host", "Content-Type", "Content-Length"}));
    EXPECT_EQ(request["headers"][1][1], "application/octet-stream");
    EXPECT_EQ(request["length"], big.size());
    gchar* digest = g_compute_checksum_for_string(G_CHECKSUM_SHA256, big.data(),
                                                  static_cast<gssize>(big.size()));
    EXPECT_EQ(request["sha256"], digest);
    g_free(digest);

    EXPECT_EQ(uploadAnswer(server().url("storage.googleapis.com", "/status/403"), "", "aGk="),
              json::array({"u", false, 403}));
    EXPECT_EQ(headerNames(server().nextRequest()),
              (std::vector<std::string>{"Host", "Content-Type", "Content-Length"}));

    EXPECT_EQ(uploadAnswer(server().url("lumivo.example", "/garbage"), "a/b", ""),
              json::array({"u", false, 0}));
    server().nextRequest();
}

// A GET (the panel fetching a result) sends no body and no header but Host, and keeps the
// response body only up to its bound.
TEST(HttpsGet, FetchesTheBodyWithinItsBoundAndFailsBeyondIt) {
    ASSERT_TRUE(TlsServer::get().ok());
    CurlHttp http(testOptions());
    auto get = [&http](const std::string& path, size_t bound) {
        HttpRequest request{.method = "GET",
                            .url = *HttpUrl::parse(TlsServer::get().url("lumivo.example", path)),
                            .headers = {},
                            .body = {},
                            .idleTimeout = std::chrono::seconds(10),
                            .maxResponseBytes = bound};
        std::promise<HttpResponse> done;
        http.send(std::move(request),
                  [&done](HttpResponse response) { done.set_value(std::move(response)); });
        return done.get_future().get();
    };
    HttpResponse small = get("/token/ok", 1 << 20);
    EXPECT_FALSE(small.transportError) << small.errorText;
    EXPECT_EQ(small.status, 200);
    EXPECT_EQ(small.body, R"({"access_token":"A","expires_in":3600,"refresh_token":"rt-2"})");
    const json request = TlsServer::get().nextRequest();
    EXPECT_EQ(request["method"], "GET");
    EXPECT_EQ(headerNames(request), std::vector<std::string>{"Host"});
    EXPECT_EQ(request["length"], 0);

    HttpResponse huge = get("/token/huge", 1 << 20);
    EXPECT_TRUE(huge.transportError);
    EXPECT_TRUE(huge.body.empty());
    TlsServer::get().nextRequest();
}

}  // namespace
