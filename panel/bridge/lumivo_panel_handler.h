#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "imaging/pixel_buffer.h"
#include "panel/bridge/frame_access.h"
#include "panel/bridge/frame_export.h"
#include "panel/bridge/lanes.h"
#include "panel/bridge/page_caller.h"
#include "panel/bridge/panel_requests.h"
#include "panel/bridge/panel_state.h"
#include "panel/bridge/result_chunks.h"
#include "platform/panel_window.h"
#include "platform/scheme_request.h"
#include "platform/task_queue.h"
#include "platform/web_view.h"

// The bridge between the panel's page and the application: receives every page message, holds
// the current frame, and is the one way into the page. Main thread only, except callAck,
// retargetAtFrame, readFrame and spoolDirectory, which any thread may call. Lives as long as the
// process.
class LumivoPanelHandler final : public PageCaller, public PanelState, public FrameAccess {
  public:
    using LogSink = std::function<void(const std::string& line)>;

    // mainQueue runs page evaluations; exportQueue runs export workers (concurrently in the
    // application). Both must outlive the handler.
    LumivoPanelHandler(TaskQueue& mainQueue, TaskQueue& exportQueue, FrameEncoder encoder);
    ~LumivoPanelHandler() override;
    LumivoPanelHandler(const LumivoPanelHandler&) = delete;
    LumivoPanelHandler& operator=(const LumivoPanelHandler&) = delete;

    // --- Properties ---
    // The current frame, the editor it came from and the file it was decoded from when that
    // holds exactly its pixels; the frame is not owned. Set once before any message arrives.
    void setInput(PixelBuffer* frame, FrameSource source = {}, FrameFile file = nullptr,
                  std::optional<PictureMark> mark = std::nullopt);
    void setSpoolDirectory(std::string directory);
    std::string spoolDirectory() const override;
    void setWebView(std::weak_ptr<WebView> webView) { webView_ = std::move(webView); }
    void setWindow(std::weak_ptr<PanelWindow> window) { window_ = std::move(window); }
    // The sign-in generation lives with the sign-in code (AuthService), which alone raises
    // and compares it, all on the main thread.
    // The modules that serve the other requests; null while a module is not wired in.
    void setModules(ApplyRequests* apply, ServiceRequests* service,
                    NotificationRequests* notifications);
    // The module that moves the frame and results on the service's road; null while it is not
    // wired in.
    void setTransfers(TransferRequests* transfers) { transfers_ = transfers; }
    // The module told of the page's "busy" messages; null while none is wired in.
    void setSession(SessionRequests* session) { session_ = session; }
    // Where "debug-log" lines go: the system log and standard error unless replaced.
    void setLogSink(LogSink sink) { log_ = std::move(sink); }

    // --- The page's messages ---
    // One message body as a document of the service posted it (acceptPageMessage has judged its
    // sender), in posting order, with the token of that document. Every answer to it is
    // delivered only into that same document: the ack id the modules see carries the token.
    void didReceiveScriptMessage(const nlohmann::json& body, const std::string& document);
    // One request on the panel's lane scheme (PanelLanes::kScheme).
    void serveLane(std::unique_ptr<SchemeRequest> request) { lanes_.serve(std::move(request)); }

    // --- Frame ---
    void retargetAtFrame(PixelBuffer frame, FrameFile file) override;
    void retargetAtInput(PixelBuffer frame, FrameSource source, FrameFile file,
                         std::optional<PictureMark> mark, FrameArrival arrival) override;
    uint64_t handOffs() const override { return handOffs_.load(); }
    bool lastExportIsFromAnotherSource() const override;
    bool readFrame(FrameUse use, const Reader& read) override;
    std::optional<PictureMark> resultMark() const override;
    FrameSize frameSize() const override;
    void handleExportFrame(const nlohmann::json& ackId);
    // Lets go of the current frame and its file when the editor it came from has quit: the
    // frame is empty until the next one arrives, and an export answers as for an encoder
    // failure. A result the page is sending is kept, so it still reaches the spool. Any thread.
    void releaseFrame();

    // --- Into the page ---
    void callAck(const std::string& name, const nlohmann::json& arguments) override;

    // --- Web view and window lifecycle ---
    // Every navigation is allowed, whatever its URL, target frame or kind.
    bool decidePolicyForNavigation() const { return true; }
    // The page's content process is gone: the window closes, which ends the panel.
    void webContentProcessDidTerminate();
    // The window is closing: the panel ends at once with status 0, without any clean-up.
    [[noreturn]] void windowWillClose();

  private:
    using Route = void (LumivoPanelHandler::*)(const nlohmann::json& message,
                                               const nlohmann::json& ackId);
    static Route routeFor(const std::string& type);

    void onDebugLog(const nlohmann::json& message, const nlohmann::json& ackId);
    void onExportFrame(const nlohmann::json& message, const nlohmann::json& ackId);
    void onApplyResultChunk(const nlohmann::json& message, const nlohmann::json& ackId);
    void onApplyResult(const nlohmann::json& message, const nlohmann::json& ackId);
    void onUploadPut(const nlohmann::json& message, const nlohmann::json& ackId);
    void onAccessibilityRepair(const nlohmann::json& message, const nlohmann::json& ackId);
    void onOpenExternal(const nlohmann::json& message, const nlohmann::json& ackId);
    void onNotify(const nlohmann::json& message, const nlohmann::json& ackId);
    void onAuthSave(const nlohmann::json& message, const nlohmann::json& ackId);
    void onAuthRefresh(const nlohmann::json& message, const nlohmann::json& ackId);
    void onAuthSignOut(const nlohmann::json& message, const nlohmann::json& ackId);
    void onOpenLanes(const nlohmann::json& message, const nlohmann::json& ackId);
    void onApplyLook(const nlohmann::json& message, const nlohmann::json& ackId);
    void onUploadFrame(const nlohmann::json& message, const nlohmann::json& ackId);
    void onApplyUrl(const nlohmann::json& message, const nlohmann::json& ackId);
    void onBusy(const nlohmann::json& message, const nlohmann::json& ackId);

    // Queues a script for the page; the web view is looked up only when it runs. The script is
    // already wrapped in its document guard.
    void evaluateLater(std::string script);

    TaskQueue& mainQueue_;
    TaskQueue& exportQueue_;
    FrameEncoder encoder_;

    // Where a frame came from and which picture it shows.
    struct FrameOrigin {
        FrameSource source;
        std::optional<PictureMark> mark;
    };
    // Installs the frame's bytes, its file and, when given, its origin; the page hears of the
    // new frame and how it arrived.
    void installFrame(PixelBuffer frame, FrameFile file, const FrameOrigin* origin,
                      FrameArrival arrival);

    // Guarded by frameLock_: the frame, its number, its file, its origin, and the origin of the
    // frame of the last export (none before the first export).
    PixelBuffer* input_ = nullptr;
    uint64_t inputSerial_ = 0;
    FrameFile inputFile_;
    FrameOrigin inputOrigin_;
    std::optional<FrameOrigin> exportedOrigin_;
    mutable std::mutex frameLock_;
    std::atomic<uint64_t> handOffs_{0};

    mutable std::mutex spoolDirectoryLock_;
    std::string spoolDirectory_;

    std::weak_ptr<WebView> webView_;
    std::weak_ptr<PanelWindow> window_;
    // Result text being assembled, per document and ack id (keyed by the bound ack id's JSON
    // text, so ids of different JSON types or documents never share a buffer).
    ResultChunks applyChunks_;

    ApplyRequests* apply_ = nullptr;
    ServiceRequests* service_ = nullptr;
    NotificationRequests* notifications_ = nullptr;
    TransferRequests* transfers_ = nullptr;
    SessionRequests* session_ = nullptr;
    LogSink log_;
    PanelLanes lanes_{mainQueue_, exportQueue_, *this};
};
