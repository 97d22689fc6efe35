#pragma once

#include <string_view>

#include <nlohmann/json.hpp>

// nlohmann::json::parse without exceptions (a discarded value for text that is not JSON), with
// the same result for every text, but fast over long plain strings: the general parser reads a
// string a character at a time, about 15 ms a megabyte, and a result arrives as megabyte pieces
// of base64. The caller bounds the depth of what it parses. Pure; any thread.
nlohmann::json parseJsonWithFastStrings(std::string_view text);
