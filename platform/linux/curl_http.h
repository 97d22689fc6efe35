#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/http.h"

// Test hooks of the transport. The shipped program uses the defaults and never fills these from
// the environment.
struct CurlHttpOptions {
    std::vector<std::string> resolve;  // "host:port:address" name overrides
    std::string caFile;                // trusted certificates; "" uses the system's store
    std::optional<std::chrono::milliseconds> idleTimeout;  // replaces every request's time-out
};

// HTTPS through libcurl: one worker thread drives every transfer with a curl multi handle and
// calls each completion from there. Any thread may send; the destructor abandons unfinished
// transfers and joins the worker. Should curl fail to start, every request fails at once, on
// the sending thread.
class CurlHttp final : public HttpTransport {
  public:
    explicit CurlHttp(CurlHttpOptions options = {});
    ~CurlHttp() override;
    CurlHttp(const CurlHttp&) = delete;
    CurlHttp& operator=(const CurlHttp&) = delete;

    void send(HttpRequest request, std::function<void(HttpResponse)> done) override;

    struct Transfer;

  private:
    void run();

    CurlHttpOptions options_;
    void* multi_ = nullptr;  // CURLM*, used on the worker thread (and by curl_multi_wakeup)
    std::mutex mutex_;
    std::deque<std::unique_ptr<Transfer>> incoming_;
    bool stopping_ = false;
    std::thread thread_;
};
