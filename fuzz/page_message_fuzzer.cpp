// Feeds arbitrary text to the panel as page messages with their senders: judged, parsed,
// dispatched to a handler with fake ports and every request module wired to one that answers,
// and every answer written as a page call. Nothing may throw, crash or grow without bound, and
// nothing from a sender that isn't the top-level document of a service origin may get through.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "panel/bridge/lumivo_panel_handler.h"
#include "panel/bridge/page_origin.h"
#include "panel/bridge/page_scripts.h"
#include "panel/bridge/script_message.h"
#include "tests/fakes/fake_web_view.h"
#include "tests/fakes/manual_queue.h"

namespace {

using nlohmann::json;

// Answers every request at once with what it was given, so the writer sees page data too.
struct EchoModules final : ApplyRequests, ServiceRequests, NotificationRequests, TransferRequests {
    PageCaller* page = nullptr;
    void handleApplyResult(const json& ackId, std::string base64) override {
        page->callAck("__lumivoImportAck", json::array({ackId, false, base64.substr(0, 64)}));
    }
    // A produced result is made at once (a look runs over the frame), then answered.
    void handleApplyResultFrom(const json& ackId, ResultProducer produce) override {
        ProducedResult produced = produce();
        page->callAck("__lumivoImportAck",
                      json::array({ackId, produced.file.has_value(), produced.refusal}));
    }
    void handleAccessibilityRepair(const json& ackId) override {
        page->callAck("__lumivoAccessibilityAck", json::array({ackId, false}));
    }
    void handleUploadFrame(const json& ackId, const json& url, const json& contentType,
                           const json& frame) override {
        page->callAck("__lumivoUploadAck", json::array({ackId, url, contentType, frame}));
    }
    void handleApplyUrl(const json& ackId, const json& url) override {
        page->callAck("__lumivoImportAck", json::array({ackId, url}));
    }
    void handleUploadPut(const json& ackId, const json& url, const json& contentType,
                         const json& base64) override {
        page->callAck("__lumivoUploadAck", json::array({ackId, url, contentType, base64}));
    }
    void handleOpenExternal(const json& url) override {
        page->callAck("__lumivoOpen", json::array({url}));
    }
    void handleAuthSave(const json& ackId, const json& message) override {
        page->callAck("__lumivoAuthAck", json::array({ackId, true, message}));
    }
    void handleAuthRefresh(const json& ackId) override {
        page->callAck("__lumivoAuthAck", json::array({ackId, false, ""}));
    }
    void signOut(const json& ackId) override {
        page->callAck("__lumivoAuthAck", json::array({ackId, true, ""}));
    }
    void handleNotify(const json& id, const json& title, const json& body) override {
        page->callAck("__lumivoNotificationClick", json::array({id, title, body}));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ManualQueue mainQueue;
    ManualQueue exportQueue;
    auto webView = std::make_shared<FakeWebView>();
    PixelBuffer frame{1, 1, {1, 2, 3, 4}};
    LumivoPanelHandler handler(mainQueue, exportQueue, [](const PixelBuffer&) {
        return std::vector<uint8_t>{1, 2, 3};
    });
    EchoModules modules;
    modules.page = &handler;
    handler.setInput(&frame);
    handler.setWebView(webView);
    handler.setModules(&modules, &modules, &modules);
    handler.setTransfers(&modules);
    handler.setLogSink([](const std::string&) {});

    // One input may hold several messages, one per line, so chunk assembly is reached too. A
    // line is "<origin> <t|f> <text>": the sender as the relay reports it, then what it posted.
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        size_t space = line.find(' ');
        if (space == std::string_view::npos || line.size() < space + 3) {
            continue;
        }
        std::string_view origin = line.substr(0, space);
        bool topLevel = line[space + 1] == 't';
        if (auto message = acceptPageMessage(origin, topLevel, line.substr(space + 3))) {
            if (!topLevel || !isServiceOrigin(origin)) {
                __builtin_trap();  // a foreign sender got through
            }
            handler.didReceiveScriptMessage(message->body, message->document);
            (void)pageCallScript("f", json::array({message->body}));
        }
    }
    while (exportQueue.drain() + mainQueue.drain() > 0) {
    }
    return 0;
}
