#include "panel/bridge/lumivo_panel_handler.h"

#include <syslog.h>
#include <unistd.h>

#include <array>
#include <new>
#include <optional>
#include <string_view>
#include <utility>

#include "panel/bridge/color_look.h"
#include "panel/bridge/look_result.h"
#include "panel/bridge/page_scripts.h"

namespace {

using nlohmann::json;

constexpr char kLogPrefix[] = "LumivoPlugin: panel: ";

void writeLogLine(const std::string& line) {
    syslog(LOG_NOTICE, "%s", line.c_str());
    // One write per line, so lines of several processes sharing the stream never interleave.
    std::string withNewline = line + "\n";
    for (size_t done = 0; done < withNewline.size();) {
        ssize_t written =
            ::write(STDERR_FILENO, withNewline.data() + done, withNewline.size() - done);
        if (written <= 0) {
            break;
        }
        done += static_cast<size_t>(written);
    }
}

// The ack id as the modules see it: the page's own, bound to the document that sent it. The
// modules pass it back unchanged; callAck takes it apart again.
constexpr char kBoundDocument[] = "lumivo.document";
constexpr char kBoundAckId[] = "lumivo.ackId";

json bindAckId(const json& ackId, const std::string& document) {
    return json{{kBoundDocument, document}, {kBoundAckId, ackId}};
}

// The page's ack id and its document when `value` is a bound ack id; none for anything else (a
// creation id, for instance).
struct BoundAckId {
    const json* ackId;
    const std::string* document;
};
std::optional<BoundAckId> unbind(const json& value) {
    if (!value.is_object() || value.size() != 2) {
        return std::nullopt;
    }
    auto document = value.find(kBoundDocument);
    auto ackId = value.find(kBoundAckId);
    if (document == value.end() || ackId == value.end() || !document->is_string()) {
        return std::nullopt;
    }
    return BoundAckId{&*ackId, &document->get_ref<const std::string&>()};
}

// A member the routing table reads with a default: "" when absent.
json memberOrEmpty(const json& message, const char* key) {
    auto it = message.find(key);
    return it == message.end() ? json("") : *it;
}

// A member read as text: anything but a string counts as absent.
std::string_view textMember(const json& message, const char* key) {
    auto it = message.find(key);
    if (it == message.end() || !it->is_string()) {
        return {};
    }
    return it->get_ref<const std::string&>();
}

}  // namespace

LumivoPanelHandler::LumivoPanelHandler(TaskQueue& mainQueue, TaskQueue& exportQueue,
                                       FrameEncoder encoder)
    : mainQueue_(mainQueue),
      exportQueue_(exportQueue),
      encoder_(std::move(encoder)),
      log_(writeLogLine) {}

LumivoPanelHandler::~LumivoPanelHandler() = default;

void LumivoPanelHandler::setSpoolDirectory(std::string directory) {
    std::lock_guard lock(spoolDirectoryLock_);
    spoolDirectory_ = std::move(directory);
}

std::string LumivoPanelHandler::spoolDirectory() const {
    std::lock_guard lock(spoolDirectoryLock_);
    return spoolDirectory_;
}

void LumivoPanelHandler::setModules(ApplyRequests* apply, ServiceRequests* service,
                                    NotificationRequests* notifications) {
    apply_ = apply;
    service_ = service;
    notifications_ = notifications;
}

// --- Dispatch ---

LumivoPanelHandler::Route LumivoPanelHandler::routeFor(const std::string& type) {
    static constexpr std::array<std::pair<std::string_view, Route>, 16> kRoutes{{
        {"debug-log", &LumivoPanelHandler::onDebugLog},
        {"export-frame", &LumivoPanelHandler::onExportFrame},
        {"apply-result-chunk", &LumivoPanelHandler::onApplyResultChunk},
        {"apply-result", &LumivoPanelHandler::onApplyResult},
        {"upload-put", &LumivoPanelHandler::onUploadPut},
        {"accessibility-repair", &LumivoPanelHandler::onAccessibilityRepair},
        {"open-external", &LumivoPanelHandler::onOpenExternal},
        {"notify", &LumivoPanelHandler::onNotify},
        {"auth-save", &LumivoPanelHandler::onAuthSave},
        {"auth-refresh", &LumivoPanelHandler::onAuthRefresh},
        {"auth-sign-out", &LumivoPanelHandler::onAuthSignOut},
        // The lanes: what the page shows, and results the panel makes or fetches itself.
        {"open-lanes", &LumivoPanelHandler::onOpenLanes},
        {"apply-look", &LumivoPanelHandler::onApplyLook},
        {"upload-frame", &LumivoPanelHandler::onUploadFrame},
        {"apply-url", &LumivoPanelHandler::onApplyUrl},
        {"busy", &LumivoPanelHandler::onBusy},
    }};
    for (const auto& [name, route] : kRoutes) {
        if (name == type) {
            return route;
        }
    }
    return nullptr;
}

void LumivoPanelHandler::didReceiveScriptMessage(const json& body, const std::string& document) {
    if (!body.is_object()) {
        return;
    }
    auto type = body.find("type");
    if (type == body.end() || !type->is_string()) {
        return;
    }
    Route route = routeFor(type->get_ref<const std::string&>());
    if (route == nullptr) {
        return;
    }
    (this->*route)(body, bindAckId(memberOrEmpty(body, "ackId"), document));
}

void LumivoPanelHandler::onDebugLog(const json& message, const json&) {
    std::string line = kLogPrefix;
    auto text = message.find("message");
    if (text != message.end()) {
        // Non-text values are written as their JSON text, so nothing the page logs is lost.
        line += text->is_string() ? text->get_ref<const std::string&>()
                                  : text->dump(-1, ' ', false, json::error_handler_t::replace);
    }
    log_(line);
}

void LumivoPanelHandler::onExportFrame(const json&, const json& ackId) {
    handleExportFrame(ackId);
}

void LumivoPanelHandler::onApplyResultChunk(const json& message, const json& ackId) {
    const FrameSize size = frameSize();
    applyChunks_.append(ackId.dump(-1, ' ', false, json::error_handler_t::replace),
                        textMember(message, "chunk"),
                        ResultChunks::maxCharactersFor(size.width, size.height));
}

void LumivoPanelHandler::onApplyResult(const json&, const json& ackId) {
    std::string text =
        applyChunks_.take(ackId.dump(-1, ' ', false, json::error_handler_t::replace));
    if (apply_ == nullptr) {
        callAck("__lumivoImportAck", json::array({ackId, false, ""}));
        return;
    }
    apply_->handleApplyResult(ackId, std::move(text));
}

void LumivoPanelHandler::onUploadPut(const json& message, const json& ackId) {
    if (service_ == nullptr) {
        callAck("__lumivoUploadAck", json::array({ackId, false, 0}));
        return;
    }
    service_->handleUploadPut(ackId, memberOrEmpty(message, "url"),
                              memberOrEmpty(message, "contentType"),
                              memberOrEmpty(message, "base64"));
}

void LumivoPanelHandler::onAccessibilityRepair(const json&, const json& ackId) {
    if (apply_ == nullptr) {
        callAck("__lumivoAccessibilityAck", json::array({ackId, false}));
        return;
    }
    apply_->handleAccessibilityRepair(ackId);
}

void LumivoPanelHandler::onOpenExternal(const json& message, const json&) {
    if (service_ != nullptr) {
        service_->handleOpenExternal(memberOrEmpty(message, "url"));
    }
}

void LumivoPanelHandler::onNotify(const json& message, const json&) {
    if (notifications_ != nullptr) {
        notifications_->handleNotify(memberOrEmpty(message, "id"), memberOrEmpty(message, "title"),
                                     memberOrEmpty(message, "body"));
    }
}

void LumivoPanelHandler::onAuthSave(const json& message, const json& ackId) {
    if (service_ == nullptr) {
        callAck("__lumivoAuthAck", json::array({ackId, false, "unavailable"}));
        return;
    }
    service_->handleAuthSave(ackId, message);
}

void LumivoPanelHandler::onAuthRefresh(const json&, const json& ackId) {
    if (service_ == nullptr) {
        callAck("__lumivoAuthAck", json::array({ackId, false, "unavailable"}));
        return;
    }
    service_->handleAuthRefresh(ackId);
}

void LumivoPanelHandler::onAuthSignOut(const json&, const json& ackId) {
    if (service_ == nullptr) {
        // Without the vault nothing was signed out; saying so beats a false success.
        callAck("__lumivoAuthAck", json::array({ackId, false, "unavailable"}));
        return;
    }
    service_->signOut(ackId);
}

void LumivoPanelHandler::onOpenLanes(const json&, const json& ackId) {
    std::optional<BoundAckId> bound = unbind(ackId);
    const std::string base = bound ? lanes_.open(*bound->document) : "";
    callAck("__lumivoLanesAck", json::array({ackId, base}));
}

void LumivoPanelHandler::onApplyLook(const json& message, const json& ackId) {
    std::optional<ColorLook> look;
    if (auto member = message.find("look"); member != message.end()) {
        look = parseColorLook(*member);
    }
    // The frame the page showed, by its number; any frame when absent.
    uint64_t frame = 0;
    if (auto member = message.find("frame"); member != message.end()) {
        frame =
            member->is_number_integer() && member->get<int64_t>() > 0 ? member->get<uint64_t>() : 0;
        if (frame == 0) {
            look.reset();
        }
    }
    if (!look || apply_ == nullptr) {
        callAck("__lumivoImportAck", json::array({ackId, false, ""}));
        return;
    }
    apply_->handleApplyResultFrom(ackId,
                                  lookResultProducer(*this, std::move(*look), frame, encoder_));
}

void LumivoPanelHandler::onUploadFrame(const json& message, const json& ackId) {
    if (transfers_ == nullptr) {
        callAck("__lumivoUploadAck", json::array({ackId, false, 0}));
        return;
    }
    transfers_->handleUploadFrame(ackId, memberOrEmpty(message, "url"),
                                  memberOrEmpty(message, "contentType"),
                                  memberOrEmpty(message, "frame"));
}

void LumivoPanelHandler::onApplyUrl(const json& message, const json& ackId) {
    if (transfers_ == nullptr) {
        callAck("__lumivoImportAck", json::array({ackId, false, ""}));
        return;
    }
    transfers_->handleApplyUrl(ackId, memberOrEmpty(message, "url"));
}

void LumivoPanelHandler::onBusy(const json& message, const json&) {
    auto busy = message.find("busy");
    if (busy == message.end() || !busy->is_boolean() || session_ == nullptr) {
        return;
    }
    session_->handleBusy(busy->get<bool>());
}

// --- Frame ---

void LumivoPanelHandler::setInput(PixelBuffer* frame, FrameSource source, FrameFile file,
                                  std::optional<PictureMark> mark) {
    std::lock_guard lock(frameLock_);
    input_ = frame;
    ++inputSerial_;
    inputOrigin_ = FrameOrigin{std::move(source), mark};
    inputFile_ = std::move(file);
}

void LumivoPanelHandler::retargetAtFrame(PixelBuffer frame, FrameFile file) {
    installFrame(std::move(frame), std::move(file), nullptr, FrameArrival::kResult);
}

void LumivoPanelHandler::retargetAtInput(PixelBuffer frame, FrameSource source, FrameFile file,
                                         std::optional<PictureMark> mark, FrameArrival arrival) {
    const FrameOrigin origin{std::move(source), mark};
    installFrame(std::move(frame), std::move(file), &origin, arrival);
}

bool LumivoPanelHandler::readFrame(FrameUse use, const Reader& read) {
    std::lock_guard lock(frameLock_);
    if (input_ == nullptr) {
        return false;
    }
    if (read(*input_, inputFile_, inputSerial_) && use == FrameUse::result) {
        exportedOrigin_ = inputOrigin_;
    }
    return true;
}

bool LumivoPanelHandler::lastExportIsFromAnotherSource() const {
    std::lock_guard lock(frameLock_);
    return exportedOrigin_ && exportedOrigin_->source != inputOrigin_.source;
}

std::optional<PictureMark> LumivoPanelHandler::resultMark() const {
    std::lock_guard lock(frameLock_);
    return exportedOrigin_ ? exportedOrigin_->mark : inputOrigin_.mark;
}

FrameSize LumivoPanelHandler::frameSize() const {
    std::lock_guard lock(frameLock_);
    return input_ != nullptr ? FrameSize{input_->width, input_->height} : FrameSize{};
}

void LumivoPanelHandler::installFrame(PixelBuffer frame, FrameFile file, const FrameOrigin* origin,
                                      FrameArrival arrival) {
    FrameInfo info{frame.width, frame.height, {}, arrival};
    {
        std::lock_guard lock(frameLock_);
        if (input_ == nullptr) {
            return;
        }
        input_->width = info.width;
        input_->height = info.height;
        input_->rgba = std::move(frame.rgba);
        ++inputSerial_;
        // The old frame's file leaves with it; an export that still sends it holds its own share.
        inputFile_.swap(file);
        if (origin != nullptr) {
            inputOrigin_ = *origin;
        }
        info.editor = editorOfSpoolDirectory(inputOrigin_.source.spoolDirectory);
    }
    frame.width = 0;
    frame.height = 0;
    file.reset();
    // Whichever document of the service is shown learns of the frame.
    std::string script;
    openDocumentGuard(script, nullptr);
    script += frameChangeScript(info);
    closeDocumentGuard(script);
    evaluateLater(std::move(script));
    // Counted once the page's news is queued, so an apply that this hand-off ends answers after
    // the page has heard of the picture.
    if (arrival == FrameArrival::kHandedOff) {
        handOffs_.fetch_add(1);
    }
}

void LumivoPanelHandler::releaseFrame() {
    PixelBuffer released;
    FrameFile file;
    {
        std::lock_guard lock(frameLock_);
        if (input_ == nullptr) {
            return;
        }
        released = std::move(*input_);
        *input_ = PixelBuffer{};
        // A look or an upload asked for by the frame's number finds it gone.
        ++inputSerial_;
        file.swap(inputFile_);
    }
    // Freed here, outside the lock; an export still sending the file holds its own share.
}

void LumivoPanelHandler::handleExportFrame(const json& ackId) {
    exportQueue_.post([this, ackId] {
        PixelBuffer copy;
        FrameFile file;
        try {
            std::lock_guard lock(frameLock_);
            if (input_ != nullptr) {
                // A frame with its file at hand needs neither a copy nor an encoder.
                file = inputFile_;
                if (!file) {
                    copy = *input_;
                }
                exportedOrigin_ = inputOrigin_;
            }
        } catch (const std::bad_alloc&) {
            copy = PixelBuffer{};  // answered as an encoder failure
        }
        if (file) {
            sendFrameFile(*file, ackId, *this);
        } else {
            sendFrame(std::move(copy), ackId, encoder_, *this);
        }
    });
}

// --- Into the page ---

void LumivoPanelHandler::callAck(const std::string& name, const json& arguments) {
    // An answer goes only to the document that asked; a call that answers no request (a
    // notification click) goes to whichever document of the service is shown.
    std::optional<BoundAckId> bound;
    if (arguments.is_array() && !arguments.empty()) {
        bound = unbind(arguments[0]);
    }
    std::string script;
    openDocumentGuard(script, bound ? bound->document : nullptr);
    appendPageCall(script, name, arguments, bound ? bound->ackId : nullptr);
    closeDocumentGuard(script);
    evaluateLater(std::move(script));
}

void LumivoPanelHandler::evaluateLater(std::string script) {
    mainQueue_.post([this, script = std::move(script)]() mutable {
        if (auto view = webView_.lock()) {
            view->evaluate(std::move(script));
        }
    });
}

// --- Lifecycle ---

void LumivoPanelHandler::webContentProcessDidTerminate() {
    if (auto window = window_.lock()) {
        window->close();
    }
}

void LumivoPanelHandler::windowWillClose() {
    _exit(0);
}
