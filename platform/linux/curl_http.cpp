#include "platform/linux/curl_http.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <map>

namespace {

struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistFree>;

bool appendTo(Slist& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list.get(), line.c_str());
    if (grown == nullptr) {
        return false;
    }
    list.release();
    list.reset(grown);
    return true;
}

void initialiseCurlOnce() {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
}

}  // namespace

struct CurlHttp::Transfer {
    Transfer(HttpRequest r, std::function<void(HttpResponse)> d)
        : request(std::move(r)), done(std::move(d)) {}

    HttpRequest request;
    std::function<void(HttpResponse)> done;
    std::unique_ptr<CURL, void (*)(CURL*)> easy{nullptr, curl_easy_cleanup};
    std::unique_ptr<CURLU, void (*)(CURLU*)> url{nullptr, curl_url_cleanup};
    Slist headers;
    Slist resolve;
    std::string body;
    bool tooLarge = false;
    bool timedOut = false;
    // Idle time-out: the transfer fails once no byte has moved in either direction for this long.
    std::chrono::steady_clock::duration idleLimit{};
    std::chrono::steady_clock::time_point lastActivity = std::chrono::steady_clock::now();
    curl_off_t lastDown = 0;
    curl_off_t lastUp = 0;

    static int progress(void* self, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
        auto* transfer = static_cast<Transfer*>(self);
        const auto now = std::chrono::steady_clock::now();
        if (down != transfer->lastDown || up != transfer->lastUp) {
            transfer->lastDown = down;
            transfer->lastUp = up;
            transfer->lastActivity = now;
            return 0;
        }
        if (now - transfer->lastActivity > transfer->idleLimit) {
            transfer->timedOut = true;
            return 1;  // stops the transfer
        }
        return 0;
    }

    static size_t write(char* data, size_t size, size_t count, void* self) {
        auto* transfer = static_cast<Transfer*>(self);
        const size_t length = size * count;
        const size_t limit = transfer->request.maxResponseBytes;
        if (limit == 0) {
            return length;  // the body is not wanted
        }
        if (length > limit - transfer->body.size()) {
            transfer->tooLarge = true;
            return 0;  // stops the transfer
        }
        transfer->body.append(data, length);
        return length;
    }
};

namespace {

// Configures the easy handle; false when curl refuses a setting.
bool configure(CurlHttp::Transfer& t, const CurlHttpOptions& options) {
    CURL* easy = t.easy.get();
    const HttpRequest& r = t.request;
    // The request connects to the very URL the rules judged: the parsed handle, not its text.
    t.url.reset(curl_url_dup(static_cast<CURLU*>(const_cast<void*>(r.url.native()))));
    if (!t.url) {
        return false;
    }
    // User information in the URL would make curl add an Authorization header of its own; only
    // the listed headers go out.
    if (curl_url_set(t.url.get(), CURLUPART_USER, nullptr, 0) != CURLUE_OK ||
        curl_url_set(t.url.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK) {
        return false;
    }
    for (const auto& [name, value] : r.headers) {
        // "Name;" is curl's way of sending a header with an empty value.
        if (!appendTo(t.headers, value.empty() ? name + ";" : name + ": " + value)) {
            return false;
        }
    }
    // No header beyond the listed ones: drop curl's default Accept and Expect.
    if (!appendTo(t.headers, "Accept:") || !appendTo(t.headers, "Expect:")) {
        return false;
    }
    for (const auto& entry : options.resolve) {
        if (!appendTo(t.resolve, entry)) {
            return false;
        }
    }
    const auto timeout = options.idleTimeout.value_or(r.idleTimeout);
    const long timeoutMs = static_cast<long>(std::max<int64_t>(1, timeout.count()));
    t.idleLimit = std::chrono::milliseconds(timeoutMs);
    t.lastActivity = std::chrono::steady_clock::now();
    static const char kEmpty[] = "";
    const char* body = r.body.empty() ? kEmpty : reinterpret_cast<const char*>(r.body.data());

    bool ok = curl_easy_setopt(easy, CURLOPT_CURLU, t.url.get()) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_HTTPHEADER, t.headers.get()) == CURLE_OK;
    if (r.method == "GET") {
        ok = ok && curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L) == CURLE_OK;
    } else {
        ok = ok && curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                                    static_cast<curl_off_t>(r.body.size())) == CURLE_OK;
        ok = ok && curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body) == CURLE_OK;
    }
    if (r.method != "POST" && r.method != "GET") {
        ok = ok && curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, r.method.c_str()) == CURLE_OK;
    }
    ok = ok && curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &CurlHttp::Transfer::progress) ==
                   CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &t) == CURLE_OK;
    ok =
        ok && curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlHttp::Transfer::write) == CURLE_OK;
    ok = ok && curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t) == CURLE_OK;
    if (t.resolve) {
        ok = ok && curl_easy_setopt(easy, CURLOPT_RESOLVE, t.resolve.get()) == CURLE_OK;
    }
    if (!options.caFile.empty()) {
        ok = ok && curl_easy_setopt(easy, CURLOPT_CAINFO, options.caFile.c_str()) == CURLE_OK;
    }
    return ok;
}

HttpResponse failure(std::string text) {
    HttpResponse response;
    response.transportError = true;
    response.errorText = std::move(text);
    return response;
}

}  // namespace

CurlHttp::CurlHttp(CurlHttpOptions options) : options_(std::move(options)) {
    initialiseCurlOnce();
    multi_ = curl_multi_init();
    if (multi_ != nullptr) {
        thread_ = std::thread([this] { run(); });
    }
}

CurlHttp::~CurlHttp() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    if (multi_ != nullptr) {
        curl_multi_wakeup(static_cast<CURLM*>(multi_));
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    if (multi_ != nullptr) {
        curl_multi_cleanup(static_cast<CURLM*>(multi_));
    }
}

void CurlHttp::send(HttpRequest request, std::function<void(HttpResponse)> done) {
    if (multi_ == nullptr) {
        done(failure("The network could not be set up"));
        return;
    }
    auto transfer = std::make_unique<Transfer>(std::move(request), std::move(done));
    {
        std::lock_guard lock(mutex_);
        incoming_.push_back(std::move(transfer));
    }
    curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

void CurlHttp::run() {
    auto* multi = static_cast<CURLM*>(multi_);
    std::map<CURL*, std::unique_ptr<Transfer>> running;
    for (;;) {
        std::deque<std::unique_ptr<Transfer>> arrived;
        {
            std::lock_guard lock(mutex_);
            if (stopping_) {
                break;
            }
            arrived.swap(incoming_);
        }
        for (auto& transfer : arrived) {
            transfer->easy.reset(curl_easy_init());
            if (!transfer->easy || !configure(*transfer, options_) ||
                curl_multi_add_handle(multi, transfer->easy.get()) != CURLM_OK) {
                transfer->done(failure("The request could not be set up"));
                continue;
            }
            CURL* key = transfer->easy.get();
            running.emplace(key, std::move(transfer));
        }
        int active = 0;
        curl_multi_perform(multi, &active);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            auto found = running.find(message->easy_handle);
            if (found == running.end()) {
                continue;
            }
            std::unique_ptr<Transfer> transfer = std::move(found->second);
            running.erase(found);
            const CURLcode code = message->data.result;
            curl_multi_remove_handle(multi, transfer->easy.get());
            HttpResponse response;
            if (transfer->timedOut) {
                response = failure("The request timed out");
            } else if (transfer->tooLarge) {
                response = failure("The response was too large");
            } else if (code != CURLE_OK) {
                // curl's fixed description: it never names the URL or the body.
                response = failure(curl_easy_strerror(code));
            } else {
                long status = 0;
                curl_easy_getinfo(transfer->easy.get(), CURLINFO_RESPONSE_CODE, &status);
                response.status = status;
                response.body = std::move(transfer->body);
            }
            transfer->done(std::move(response));
        }
        // Transfers under way wake the loop often enough to judge their idle time-outs.
        curl_multi_poll(multi, nullptr, 0, running.empty() ? 60000 : 200, nullptr);
    }
    for (auto& [easy, transfer] : running) {
        curl_multi_remove_handle(multi, easy);
    }
}
