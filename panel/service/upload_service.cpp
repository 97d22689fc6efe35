#include "panel/service/upload_service.h"

#include "panel/bridge/base64.h"
#include "panel/service/url_rules.h"

namespace {

void answerUpload(PageCaller& page, const nlohmann::json& ackId, long status) {
    page.callAck("__lumivoUploadAck",
                 nlohmann::json::array({ackId, status >= 200 && status <= 299, status}));
}

}  // namespace

bool isSafeHeaderValue(const std::string& value) {
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

UploadService::UploadService(PageCaller& page, HttpTransport& http) : page_(page), http_(http) {}

void UploadService::handleUploadPut(const nlohmann::json& ackId, const nlohmann::json& url,
                                    const nlohmann::json& contentType,
                                    const nlohmann::json& base64) {
    std::optional<HttpUrl> parsed;
    if (url.is_string()) {
        parsed = HttpUrl::parse(url.get_ref<const std::string&>());
    }
    std::optional<std::vector<uint8_t>> bytes;
    if (base64.is_string()) {
        bytes = base64::decode(base64.get_ref<const std::string&>());
    }
    // A content type of another JSON type counts as absent. One with control characters would
    // end the header early and let the page add headers of its own, so it is refused.
    const std::string type = contentType.is_string() ? contentType.get<std::string>() : "";
    if (!parsed || !isAllowedUploadUrl(*parsed) || !bytes || !isSafeHeaderValue(type)) {
        answerUpload(page_, ackId, 0);
        return;
    }
    HttpRequest request{
        .method = "PUT",
        .url = std::move(*parsed),
        .headers = {{"Content-Type", type}},
        .body = std::move(*bytes),
        .idleTimeout = kUploadIdleTimeout,
        .maxResponseBytes = 0,
    };
    PageCaller& page = page_;
    http_.send(std::move(request), [&page, ackId](HttpResponse response) {
        answerUpload(page, ackId, response.transportError ? 0 : response.status);
    });
}
