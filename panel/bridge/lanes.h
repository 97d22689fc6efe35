#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>

#include "panel/bridge/frame_access.h"
#include "platform/scheme_request.h"
#include "platform/task_queue.h"

// The panel's binary lane with its page: a URI scheme of the panel's own on which the page
// fetches what it shows as raw bytes, with no base64 in evaluated scripts. It serves
//   GET lumivo-lane://panel/<key>/preview?width=W&height=H
// the current frame fitted within W x H (the page's stage in device pixels, each 1..8192, never
// enlarged) as raw RGBA rows, top row first, with its size and the frame's number in the headers
// "Lumivo-Width", "Lumivo-Height" and "Lumivo-Frame". Other query members are ignored (a page
// may add one to tell its fetches apart).
//
// A lane serves only the documents the bridge serves: the key in its URL is given, by "open-lanes",
// to the top-level document of one of the service's origins that asked (the answer reaches that
// document only), and each request must come with an "Origin" of the service's, which the web
// engine sets and no page can. So a foreign page or frame, even one that learnt a key, gets
// nothing; a refusal it can't even read. Main thread only; the frame is read on the workers.
class PanelLanes {
  public:
    static constexpr char kScheme[] = "lumivo-lane";
    static constexpr uint32_t kMaxPreviewSide = 8192;
    // Documents that hold a key at once (the shown one, and a few it replaced that may still
    // have a fetch under way); an older document's key stops working.
    static constexpr size_t kMaxDocuments = 4;
    // Previews being made at once; more are refused (503) until one is done.
    static constexpr size_t kMaxPending = 4;

    // `workers` make the previews; `main` runs the main thread's tasks. All three must outlive
    // the lanes.
    PanelLanes(TaskQueue& main, TaskQueue& workers, FrameAccess& frames);
    PanelLanes(const PanelLanes&) = delete;
    PanelLanes& operator=(const PanelLanes&) = delete;

    // A new key for the document with this token, replacing any it had: the base of its lanes'
    // URLs ("lumivo-lane://panel/<key>/"). "" when no random key could be made.
    std::string open(const std::string& document);

    // Answers one request on the scheme, now when it is refused, later when it is served.
    void serve(std::unique_ptr<SchemeRequest> request);

  private:
    bool knowsKey(std::string_view key) const;

    TaskQueue& main_;
    TaskQueue& workers_;
    FrameAccess& frames_;
    // (document token, key), oldest first.
    std::deque<std::pair<std::string, std::string>> keys_;
    // Requests waiting for their preview, by number.
    std::unordered_map<uint64_t, std::unique_ptr<SchemeRequest>> pending_;
    uint64_t nextRequest_ = 1;
};
