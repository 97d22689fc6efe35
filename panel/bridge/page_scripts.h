#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

// The scripts the panel runs in its page. Pure functions; any thread.

// Injected at document start on every load of the main frame: the start frame's size, and
// forwarding of the page's uncaught errors and unhandled rejections as "debug-log" messages.
std::string startupUserScript(uint32_t width, uint32_t height);

// Run when the current frame is replaced: the new size, then the page's change hook if any.
std::string frameChangeScript(uint32_t width, uint32_t height);

// "window.<name> && window.<name>(<arguments>)": booleans as true/false, numbers in decimal,
// everything else as compact JSON. U+2028 and U+2029 are escaped so that older script parsers,
// which end a string literal at them, see the same value. `arguments` is an array (anything
// else is treated as no arguments). The name is trusted and goes in unescaped.
std::string pageCallScript(const std::string& name, const nlohmann::json& arguments);

// One argument as pageCallScript writes it, appended to `out`.
void appendScriptArgument(std::string& out, const nlohmann::json& value);
