#include "panel/service/frame_transfers.h"

#include <new>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "panel/service/upload_service.h"
#include "panel/service/url_rules.h"

namespace {

using nlohmann::json;

void answerUpload(PageCaller& page, const json& ackId, long status) {
    page.callAck("__lumivoUploadAck", json::array({ackId, status >= 200 && status <= 299, status}));
}

void answerDownloadFailed(PageCaller& page, const json& ackId) {
    page.callAck("__lumivoImportAck", json::array({ackId, false, kDownloadFailedStatus}));
}

std::optional<HttpUrl> parsedUrl(const json& url) {
    return url.is_string() ? HttpUrl::parse(url.get_ref<const std::string&>()) : std::nullopt;
}

}  // namespace

bool looksLikePngOrJpeg(const std::string& bytes) {
    constexpr std::string_view kPng("\x89PNG\r\n\x1a\n", 8);
    constexpr std::string_view kJpeg("\xff\xd8\xff", 3);
    const std::string_view head(bytes);
    return head.substr(0, kPng.size()) == kPng || head.substr(0, kJpeg.size()) == kJpeg;
}

FrameTransfers::FrameTransfers(PageCaller& page, FrameAccess& frames, ApplyRequests& apply,
                               HttpTransport& http, TaskQueue& main, TaskQueue& workers,
                               FrameEncoder encode)
    : page_(page),
      frames_(frames),
      apply_(apply),
      http_(http),
      main_(main),
      workers_(workers),
      encode_(std::move(encode)) {}

void FrameTransfers::handleUploadFrame(const json& ackId, const json& url, const json& contentType,
                                       const json& frame) {
    std::optional<HttpUrl> parsed = parsedUrl(url);
    // A content type of another JSON type counts as absent, as for "upload-put".
    const std::string type = contentType.is_string() ? contentType.get<std::string>() : "";
    // The frame the page showed, by its number; the current one when absent ("").
    const bool anyFrame = frame.is_string() && frame.get_ref<const std::string&>().empty();
    const bool numbered = frame.is_number_integer() && frame.get<int64_t>() > 0;
    if (!parsed || !isAllowedUploadUrl(*parsed) || !isSafeHeaderValue(type) ||
        !(anyFrame || numbered)) {
        answerUpload(page_, ackId, 0);
        return;
    }
    upload(ackId, std::move(*parsed), type, numbered ? frame.get<uint64_t>() : 0);
}

void FrameTransfers::upload(const json& ackId, HttpUrl url, std::string contentType,
                            uint64_t frame) {
    workers_.post([this, ackId, url = std::move(url), contentType = std::move(contentType),
                   frame]() mutable {
        HttpRequest request{.method = "PUT",
                            .url = std::move(url),
                            .headers = {{"Content-Type", std::move(contentType)}},
                            .body = {},
                            .idleTimeout = kUploadIdleTimeout,
                            .maxResponseBytes = 0};
        try {
            // The lock is held for a share of the file or a copy of the pixels, no longer.
            FrameFile file;
            PixelBuffer copy;
            frames_.readFrame(FrameUse::result, [&](const PixelBuffer& current,
                                                    const FrameFile& currentFile, uint64_t serial) {
                if (frame != 0 && serial != frame) {
                    return false;
                }
                file = currentFile;
                if (!file) {
                    copy = current;
                }
                return true;
            });
            if (file) {
                request.body = *file;  // the input file's own bytes, as they are
            } else if (!copy.empty()) {
                request.body = encode_(copy);
            }
        } catch (const std::bad_alloc&) {
            request.body.clear();
        }
        if (request.body.empty()) {
            answerUpload(page_, ackId, 0);
            return;
        }
        PageCaller& page = page_;
        http_.send(std::move(request), [&page, ackId](HttpResponse response) {
            answerUpload(page, ackId, response.transportError ? 0 : response.status);
        });
    });
}

void FrameTransfers::handleApplyUrl(const json& ackId, const json& url) {
    std::optional<HttpUrl> parsed = parsedUrl(url);
    if (!parsed || !isAllowedResultUrl(*parsed)) {
        answerDownloadFailed(page_, ackId);
        return;
    }
    HttpRequest request{.method = "GET",
                        .url = std::move(*parsed),
                        .headers = {},
                        .body = {},
                        .idleTimeout = kUploadIdleTimeout,
                        .maxResponseBytes = kMaxResultDownloadBytes};
    http_.send(std::move(request), [this, ackId](HttpResponse response) {
        if (response.transportError || response.status < 200 || response.status > 299 ||
            !looksLikePngOrJpeg(response.body)) {
            answerDownloadFailed(page_, ackId);
            return;
        }
        std::vector<uint8_t> file;
        try {
            file.assign(response.body.begin(), response.body.end());
        } catch (const std::bad_alloc&) {
            answerDownloadFailed(page_, ackId);
            return;
        }
        std::string().swap(response.body);
        // The apply module takes its requests on the main thread.
        main_.post([this, ackId, file = std::move(file)]() mutable {
            apply_.handleApplyResultFrom(ackId, [file = std::move(file)]() mutable {
                return ProducedResult{std::move(file), ""};
            });
        });
    });
}
