#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// The page requests that LumivoPanelHandler forwards to the modules that serve them. Each module
// implements its interface; the panel's main wires them into the handler. Every method is called
// on the main thread, returns at once, and answers later through PageCaller where it answers.
// Members are passed as the page sent them (absent ones as ""); the modules check their types.
// An ack id is the page's own bound to the document that sent it: pass it back unchanged as the
// first argument of the answer, and the answer reaches that document only.

// A result file that the panel makes or fetches itself: its bytes, or none and the status token
// that says why ("" when no token applies).
struct ProducedResult {
    std::optional<std::vector<uint8_t>> file;
    std::string refusal;
};
// Makes a result file; runs on the apply queue, so it may read the frame and take its time.
using ResultProducer = std::function<ProducedResult()>;

// Apply-back and the accessibility permission (panel/app).
class ApplyRequests {
  public:
    virtual ~ApplyRequests() = default;
    virtual void handleApplyResult(const nlohmann::json& ackId, std::string base64) = 0;
    virtual void handleAccessibilityRepair(const nlohmann::json& ackId) = 0;
    // A result that doesn't come in the page's pieces ("apply-look", "apply-url"): `produce` runs
    // on the apply queue in turn with every other result, and its bytes then take the road of
    // the pieces' bytes, checks and answer included.
    virtual void handleApplyResultFrom(const nlohmann::json& ackId, ResultProducer produce) = 0;
};

// Sign-in, refresh, upload and external links (panel/service).
class ServiceRequests {
  public:
    virtual ~ServiceRequests() = default;
    virtual void handleUploadPut(const nlohmann::json& ackId, const nlohmann::json& url,
                                 const nlohmann::json& contentType,
                                 const nlohmann::json& base64) = 0;
    virtual void handleOpenExternal(const nlohmann::json& url) = 0;
    virtual void handleAuthSave(const nlohmann::json& ackId, const nlohmann::json& message) = 0;
    virtual void handleAuthRefresh(const nlohmann::json& ackId) = 0;
    virtual void signOut(const nlohmann::json& ackId) = 0;
};

// Desktop notifications (panel/bridge).
class NotificationRequests {
  public:
    virtual ~NotificationRequests() = default;
    virtual void handleNotify(const nlohmann::json& id, const nlohmann::json& title,
                              const nlohmann::json& body) = 0;
};

// The frame and results moved by the panel itself on the service's road (panel/service): the
// frame goes up to storage and the result comes in from the CDN without passing the page.
class TransferRequests {
  public:
    virtual ~TransferRequests() = default;
    virtual void handleUploadFrame(const nlohmann::json& ackId, const nlohmann::json& url,
                                   const nlohmann::json& contentType,
                                   const nlohmann::json& frame) = 0;
    virtual void handleApplyUrl(const nlohmann::json& ackId, const nlohmann::json& url) = 0;
};

// What the page says of the user's work (panel/app).
class SessionRequests {
  public:
    virtual ~SessionRequests() = default;
    // Whether the user is in the middle of something in the page that closing the panel would
    // lose: an upload, a creation being made, a sign-in form being filled in.
    virtual void handleBusy(bool busy) = 0;
};
