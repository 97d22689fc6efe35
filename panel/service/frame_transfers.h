#pragma once

#include <cstddef>

#include <nlohmann/json.hpp>

#include "panel/bridge/frame_access.h"
#include "panel/bridge/frame_export.h"
#include "panel/bridge/page_caller.h"
#include "panel/bridge/panel_requests.h"
#include "platform/http.h"
#include "platform/task_queue.h"
#include "plugin/spool.h"

// Status token of "apply-url" when the result could not be fetched: the URL is not the CDN's, the
// transfer failed or was refused, or what came is not a PNG or JPEG. Nothing was written.
inline constexpr char kDownloadFailedStatus[] = "download-failed";

// The largest result fetched: the largest result file the plug-in reads.
inline constexpr size_t kMaxResultDownloadBytes = spool::kMaxFileBytes;

// The service's road without the page in the data path:
//   "upload-frame" {url, contentType, frame}: the frame (the one numbered `frame`, or the current
//     one when absent) goes up with one PUT under the upload URL rule: its PNG file's own bytes
//     when it has one, else its encoding. Answered __lumivoUploadAck(ackId, ok, status) as
//     "upload-put" is; (ackId, false, 0) when refused or when that frame was replaced.
//   "apply-url" {url}: the result at a CDN URL is fetched (at most kMaxResultDownloadBytes, a PNG
//     or JPEG by its first bytes) and takes the apply road of the page's pieces. Answered
//     __lumivoImportAck as a result is; (ackId, false, kDownloadFailedStatus) when it can't be
//     fetched.
// Requests arrive on the main thread; encoding runs on the workers, answers come from the
// transport's thread. Everything given must outlive the object.
class FrameTransfers final : public TransferRequests {
  public:
    FrameTransfers(PageCaller& page, FrameAccess& frames, ApplyRequests& apply, HttpTransport& http,
                   TaskQueue& main, TaskQueue& workers, FrameEncoder encode);

    void handleUploadFrame(const nlohmann::json& ackId, const nlohmann::json& url,
                           const nlohmann::json& contentType, const nlohmann::json& frame) override;
    void handleApplyUrl(const nlohmann::json& ackId, const nlohmann::json& url) override;

  private:
    void upload(const nlohmann::json& ackId, HttpUrl url, std::string contentType, uint64_t frame);

    PageCaller& page_;
    FrameAccess& frames_;
    ApplyRequests& apply_;
    HttpTransport& http_;
    TaskQueue& main_;
    TaskQueue& workers_;
    FrameEncoder encode_;
};

// Whether bytes begin as a PNG file or a JPEG file does. Pure; any thread.
bool looksLikePngOrJpeg(const std::string& bytes);
