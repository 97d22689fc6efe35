#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

// Reading the parts of a request that arrive as text: a URL query or a form body
// ("a=1&b=two"), and decimal numbers in them. Pure functions: any thread.
namespace query_text {

// Name to value, percent-decoded ("+" is a blank). None when a name repeats, a pair has no "=",
// or an escape is malformed: a request that says one thing twice is not guessed at.
std::optional<std::map<std::string, std::string>> parse(const std::string& text);

// A non-negative decimal of at most 18 digits and nothing else.
std::optional<int64_t> decimal(const std::string& text);

}  // namespace query_text
