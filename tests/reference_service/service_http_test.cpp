// The reference service as a client meets it: over TLS, each host by name, every bad request
// answered with its status, and nothing an outsider sends brings it down.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lumivo_test_paths.h"
#include "panel/panel_process.h"
#include "plugin/temp_dir.h"

namespace {

using nlohmann::json;

struct Reply {
    long status = 0;
    std::string body;
};

// A port nobody listens on right now.
int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class ServiceHttp : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string make = std::string("bash ") + LUMIVO_SOURCE_DIR +
                                 "/scripts/sandbox/make-certificates.sh " + dir_->path() +
                                 " 'auth.lumivo.example storage.googleapis.com cdn.lumivo.example'";
        ASSERT_EQ(std::system(make.c_str()), 0);
        port_ = freePort();
        service_ =
            new ChildProcess(std::string(LUMIVO_BINARY_DIR) + "/service/lumivo-service",
                             {"--cert", *dir_ / "service.pem", "--key", *dir_ / "service.key",
                              "--listen", "127.0.0.1:" + std::to_string(port_), "--upload-limit",
                              "4096", "--stall-timeout", std::to_string(kStallSeconds)},
                             {}, STDOUT_FILENO);
        ASSERT_TRUE(service_->waitForLine("READY")) << service_->allOutput();
    }
    static void TearDownTestSuite() { delete service_; }

    // One request to https://HOST:port/PATH, resolved to the service.
    static Reply call(const std::string& method, const std::string& host, const std::string& path,
                      const std::string& body = "", std::vector<std::string> headers = {}) {
        CURL* curl = curl_easy_init();
        const std::string url = "https://" + host + ":" + std::to_string(port_) + path;
        curl_slist* resolve =
            curl_slist_append(nullptr, (host + ":" + std::to_string(port_) + ":127.0.0.1").c_str());
        curl_slist* list = nullptr;
        headers.push_back("Expect:");
        for (const std::string& h : headers) {
            list = curl_slist_append(list, h.c_str());
        }
        const std::string ca = *dir_ / "ca.pem";
        Reply reply;
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_RESOLVE, resolve);
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
        if (method != "GET") {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        }
        curl_easy_setopt(
            curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* out) {
                static_cast<std::string*>(out)->append(data, size * count);
                return size * count;
            });
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
        if (curl_easy_perform(curl) == CURLE_OK) {
            curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
        }
        curl_slist_free_all(list);
        curl_slist_free_all(resolve);
        curl_easy_cleanup(curl);
        return reply;
    }

    static std::string signIn() {
        Reply r = call("POST", kAuth, "/api/sign-in",
                       R"({"email":"demo@lumivo.example","password":"lumivo-demo"})");
        return json::parse(r.body, nullptr, false).value("refreshToken", "");
    }
    static Reply token(const std::string& refreshToken, bool clientHeader = true) {
        std::vector<std::string> headers = {"Content-Type: application/x-www-form-urlencoded"};
        if (clientHeader) {
            headers.push_back("X-Tessor-Client: plugin:affinity");
        }
        return call("POST", kAuth, "/oauth/token",
                    "grant_type=refresh_token&client_id=lumivo-panel&refresh_token=" + refreshToken,
                    headers);
    }
    static std::string accessToken() {
        return json::parse(token(signIn()).body, nullptr, false).value("access_token", "");
    }
    // An upload slot's path and query, for the test's port.
    static std::string slot(const std::string& access, std::string* objectId) {
        Reply r = call("POST", kAuth, "/api/uploads", R"({"contentType":"image/png"})",
                       {"Authorization: Bearer " + access});
        json slot = json::parse(r.body, nullptr, false);
        *objectId = slot.value("objectId", "");
        const std::string url = slot.value("uploadUrl", "");
        return url.substr(url.find('/', std::string("https://").size()));
    }

    // Opens a TLS connection to HOST, sends `text` and then nothing more; whether the service
    // closed the connection within `limit` (the connection is closed either way).
    static bool closedWhileHalfSent(const std::string& host, const std::string& text,
                                    std::chrono::seconds limit) {
        CURL* curl = curl_easy_init();
        const std::string url = "https://" + host + ":" + std::to_string(port_) + "/";
        curl_slist* resolve =
            curl_slist_append(nullptr, (host + ":" + std::to_string(port_) + ":127.0.0.1").c_str());
        const std::string ca = *dir_ / "ca.pem";
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_RESOLVE, resolve);
        curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
        curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
        bool closed = false;
        if (curl_easy_perform(curl) == CURLE_OK) {
            for (size_t sent = 0; sent < text.size();) {
                size_t now = 0;
                const CURLcode wrote =
                    curl_easy_send(curl, text.data() + sent, text.size() - sent, &now);
                if (wrote != CURLE_OK && wrote != CURLE_AGAIN) {
                    break;
                }
                sent += now;
                if (wrote == CURLE_AGAIN) {
                    usleep(10000);
                }
            }
            const auto end = std::chrono::steady_clock::now() + limit;
            while (!closed && std::chrono::steady_clock::now() < end) {
                char buffer[512];
                size_t got = 0;
                const CURLcode read = curl_easy_recv(curl, buffer, sizeof buffer, &got);
                if (read == CURLE_AGAIN) {
                    usleep(50000);  // polls a non-blocking socket; no timing is asserted
                } else {
                    closed = read != CURLE_OK || got == 0;
                }
            }
        }
        curl_slist_free_all(resolve);
        curl_easy_cleanup(curl);
        return closed;
    }

    static constexpr int kStallSeconds = 2;
    static constexpr char kAuth[] = "auth.lumivo.example";
    static constexpr char kStorage[] = "storage.googleapis.com";
    static inline TempDir* dir_ = new TempDir;
    static inline int port_ = 0;
    static inline ChildProcess* service_ = nullptr;
};

TEST_F(ServiceHttp, EachBadRequestGetsItsStatus) {
    const std::string access = accessToken();
    ASSERT_FALSE(access.empty());
    const std::string bearer = "Authorization: Bearer " + access;
    std::string objectId;
    const std::string put = slot(access, &objectId);
    const std::string png(100, 'x');
    struct Case {
        const char* what;
        Reply reply;
        long status;
    };
    const Case cases[] = {
        {"sign-in that isn't JSON", call("POST", kAuth, "/api/sign-in", "{not json"), 400},
        {"wrong password",
         call("POST", kAuth, "/api/sign-in", R"({"email":"demo@lumivo.example","password":"x"})"),
         401},
        {"no access token", call("GET", kAuth, "/api/effects"), 401},
        {"a made-up token", call("GET", kAuth, "/api/effects", "", {"Authorization: Bearer abc"}),
         401},
        {"a refresh token used as access token",
         call("GET", kAuth, "/api/effects", "", {"Authorization: Bearer " + signIn()}), 401},
        {"a grant without the client header", token(signIn(), false), 400},
        {"an unknown refresh token", token("nope"), 400},
        {"an API body over its bound",
         call("POST", kAuth, "/api/creations", std::string(100000, '{'), {bearer}), 413},
        {"a creation of no upload",
         call("POST", kAuth, "/api/creations", R"({"objectId":"zz","effect":"cutout"})", {bearer}),
         404},
        {"a creation with an unknown effect",
         call("POST", kAuth, "/api/creations", R"({"objectId":"zz","effect":"x"})", {bearer}), 400},
        {"an unknown creation", call("GET", kAuth, "/api/creations/c-none", "", {bearer}), 404},
        {"an upload of another type", call("PUT", kStorage, put, png, {"Content-Type: image/jpeg"}),
         403},
        {"an upload with the signature cut",
         call("PUT", kStorage, put.substr(0, put.size() - 1), png, {"Content-Type: image/png"}),
         400},
        {"an upload without a query",
         call("PUT", kStorage, put.substr(0, put.find('?')), png, {"Content-Type: image/png"}),
         400},
        {"an upload over the limit",
         call("PUT", kStorage, put, std::string(5000, 'x'), {"Content-Type: image/png"}), 413},
        {"an upload of unknown length",
         call("PUT", kStorage, put, png, {"Content-Type: image/png", "Transfer-Encoding: chunked"}),
         411},
        {"another host", call("GET", "cdn.lumivo.example", "/results/c-none.png"), 404},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.reply.status, c.status) << c.what << ": " << c.reply.body;
    }
}

TEST_F(ServiceHttp, HostileUploadsFailTheCreationNotTheService) {
    const std::string access = accessToken();
    const std::string bearer = "Authorization: Bearer " + access;
    // Random bytes, and a PNG header that claims 100000 x 100000 pixels.
    std::string huge("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x06\0\0\0",
                     29);
    huge += std::string(40, '\0');
    for (const std::string& body : {std::string(3000, '\xff'), huge}) {
        std::string objectId;
        const std::string put = slot(access, &objectId);
        ASSERT_EQ(call("PUT", kStorage, put, body, {"Content-Type: image/png"}).status, 200);
        Reply made = call("POST", kAuth, "/api/creations",
                          json{{"objectId", objectId}, {"effect", "stylize"}}.dump(), {bearer});
        ASSERT_EQ(made.status, 201) << made.body;
        const std::string id = json::parse(made.body).value("id", "");
        json state = json::object();
        for (int i = 0; i < 200 && state.value("state", "") != "failed"; ++i) {
            usleep(20000);  // bounds the wait for the worker; no timing is asserted
            state = json::parse(call("GET", kAuth, "/api/creations/" + id, "", {bearer}).body,
                                nullptr, false);
            ASSERT_TRUE(state.is_object());
        }
        EXPECT_EQ(state.value("state", ""), "failed");
        EXPECT_FALSE(state.value("reason", "").empty());
    }
    EXPECT_TRUE(service_->running());
    EXPECT_EQ(call("GET", kAuth, "/api/effects", "", {bearer}).status, 200);
}

TEST_F(ServiceHttp, AReusedRefreshTokenEndsItsWholeSignIn) {
    const json first = json::parse(token(signIn()).body, nullptr, false);
    const std::string used = first.value("refresh_token", "");
    const json second = json::parse(token(used).body, nullptr, false);
    const std::string access = second.value("access_token", "");
    ASSERT_FALSE(access.empty());
    const std::string bearer = "Authorization: Bearer " + access;
    ASSERT_EQ(call("GET", kAuth, "/api/effects", "", {bearer}).status, 200);

    EXPECT_EQ(token(used).status, 400) << "the used token, presented again";
    EXPECT_EQ(token(second.value("refresh_token", "")).status, 400) << "its newest successor";
    EXPECT_EQ(call("GET", kAuth, "/api/effects", "", {bearer}).status, 401);
    EXPECT_EQ(token(signIn()).status, 200) << "a new sign-in is a new family";
}

TEST_F(ServiceHttp, ASignedUploadUrlTakesOneUpload) {
    const std::string access = accessToken();
    std::string objectId;
    const std::string put = slot(access, &objectId);
    const std::string png(100, 'x');
    EXPECT_EQ(call("PUT", kStorage, put, png, {"Content-Type: image/png"}).status, 200);
    const Reply again = call("PUT", kStorage, put, png, {"Content-Type: image/png"});
    EXPECT_EQ(again.status, 409) << again.body;
    EXPECT_EQ(call("PUT", kStorage, put, std::string(50, 'y'), {"Content-Type: image/png"}).status,
              409);
}

TEST_F(ServiceHttp, HalfSentRequestsLoseTheirConnection) {
    const std::string storageHeaders =
        "PUT /lumivo-uploads/x HTTP/1.1\r\nHost: storage.googleapis.com\r\n";
    const struct {
        const char* what;
        const char* host;
        std::string text;
    } cases[] = {
        {"nothing after the handshake", kAuth, ""},
        {"headers that never end", kAuth,
         "POST /api/sign-in HTTP/1.1\r\nHost: auth.lumivo.example\r\nContent-Type: app"},
        {"a body that stops", kAuth,
         "POST /api/sign-in HTTP/1.1\r\nHost: auth.lumivo.example\r\nContent-Length: 900\r\n"
         "\r\n{\"email\":"},
        {"an upload's headers that never end", kStorage, storageHeaders},
    };
    // Generous: the service closes after kStallSeconds; no timing is asserted.
    for (const auto& c : cases) {
        EXPECT_TRUE(closedWhileHalfSent(c.host, c.text, std::chrono::seconds(30))) << c.what;
    }
    EXPECT_TRUE(service_->running());
    EXPECT_EQ(token(signIn()).status, 200);
}

}  // namespace
