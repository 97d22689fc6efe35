#pragma once

#include <chrono>

#include <nlohmann/json.hpp>

#include "panel/bridge/page_caller.h"
#include "platform/http.h"

// Signed uploads: one PUT of the page's bytes to an allowed URL, answered with the HTTP status.
// handleUploadPut is called on the main thread; the answer comes from the transport's thread.
class UploadService {
  public:
    UploadService(PageCaller& page, HttpTransport& http);

    void handleUploadPut(const nlohmann::json& ackId, const nlohmann::json& url,
                         const nlohmann::json& contentType, const nlohmann::json& base64);

  private:
    PageCaller& page_;
    HttpTransport& http_;
};

inline constexpr std::chrono::seconds kUploadIdleTimeout{180};

// A header value that can't smuggle another header or end the header block.
bool isSafeHeaderValue(const std::string& value);
