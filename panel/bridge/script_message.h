#pragma once

#include <optional>
#include <string_view>

#include <nlohmann/json.hpp>

// Turns the JSON text of one page message into a value. Pure; any thread. None for text that is
// not JSON or that nests deeper than kMaxScriptMessageDepth, so no later step (which may write
// the value out recursively) can run out of stack on what the page sent.
inline constexpr int kMaxScriptMessageDepth = 64;
std::optional<nlohmann::json> parseScriptMessage(std::string_view jsonText);
