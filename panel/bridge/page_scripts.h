#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "panel/bridge/panel_state.h"

// The scripts the panel runs in its page. Pure functions; any thread.

// The script world in which the bridge's relay runs and the channel "lumivo" is registered. Page
// scripts never run in it, so only the relay can post on the channel, and what the relay reads of
// its document (the origin, whether it is the top frame) can't be made up by the page.
inline constexpr char kBridgeWorld[] = "lumivo-bridge";

// Injected at document start into the page's own world, before the start-up script: gives the
// document a random token of its own (window.__lumivoDocument) and the page its posting
// function, window.webkit.messageHandlers.lumivo.postMessage, which hands the JSON of
// [token, message] to the relay.
std::string bridgePageScript();
// Injected at document start into kBridgeWorld: posts what the page hands over on the channel,
// with the document's origin and whether it is the top frame, in order, with at most
// kRelayCharactersInFlight characters of message text sent and not yet taken by the application
// (which answers every message once it has handled it).
inline constexpr size_t kRelayCharactersInFlight = size_t{16} << 20;
std::string bridgeRelayScript();

// Wraps a page script so that it runs only while the document in the main frame has one of the
// service's origins and, when a token is given, is the document that the token was made for:
// an answer never reaches a document it was not meant for. Appended to `out`; close it with
// closeDocumentGuard after the script.
void openDocumentGuard(std::string& out, const std::string* documentToken);
void closeDocumentGuard(std::string& out);

// What the page is told of the current frame, as window.__lumivoFilterInfo: its size, the
// editor it belongs to (the host's bundle identifier, the name of the frame's spool directory:
// "org.gimp.GIMP" for GIMP 2.10, "org.gimp.GIMP3" for GIMP 3, "com.lumivo.demo-host" for the
// demo editor; "" when unknown) and how it arrived ("handed-off", "applied" or "result", see
// FrameArrival).
struct FrameInfo {
    uint32_t width = 0;
    uint32_t height = 0;
    std::string editor;
    FrameArrival arrival = FrameArrival::kHandedOff;
};

// The editor a spool directory belongs to: its last path component.
std::string editorOfSpoolDirectory(const std::string& spoolDirectory);

// Injected at document start on every load of the main frame: the start frame's info, and
// forwarding of the page's uncaught errors and unhandled rejections as "debug-log" messages.
std::string startupUserScript(const FrameInfo& info);

// Run when the current frame is replaced: the new frame's info, then the page's change hook if
// any.
std::string frameChangeScript(const FrameInfo& info);

// "window.<name> && window.<name>(<arguments>)": booleans as true/false, numbers in decimal,
// everything else as compact JSON. U+2028 and U+2029 are escaped so that older script parsers,
// which end a string literal at them, see the same value. `arguments` is an array (anything
// else is treated as no arguments). The name is trusted and goes in unescaped.
std::string pageCallScript(const std::string& name, const nlohmann::json& arguments);
// The same, appended to `out`, with `firstArgument` (when given) written in place of
// arguments[0].
void appendPageCall(std::string& out, const std::string& name, const nlohmann::json& arguments,
                    const nlohmann::json* firstArgument = nullptr);

// One argument as pageCallScript writes it, appended to `out`.
void appendScriptArgument(std::string& out, const nlohmann::json& value);
