#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// Turns the JSON text of one page message into a value. Pure; any thread. None for text that is
// not JSON or that nests deeper than kMaxScriptMessageDepth, so no later step (which may write
// the value out recursively) can run out of stack on what the page sent.
inline constexpr int kMaxScriptMessageDepth = 64;
std::optional<nlohmann::json> parseScriptMessage(std::string_view jsonText);

// One page message that may be served: the document that sent it (the random token the bridge
// gave that document) and the message body, a JSON object.
struct PageMessage {
    std::string document;
    nlohmann::json body;
};

// What the bridge's relay hands over for each message: the sender's origin and whether it is the
// top-level document, read where page scripts can't reach, and the text the page posted (the
// JSON of [document token, message]). A message is served only when its sender is the top-level
// document of one of the service's own origins; anything else, or text of another shape, is
// none and is dropped like a malformed message. Pure; any thread.
std::optional<PageMessage> acceptPageMessage(std::string_view origin, bool topLevel,
                                             std::string_view text);
