#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// RFC 4648 base64, standard alphabet, "=" padding, no line breaks.
namespace base64 {

std::string encode(const uint8_t* bytes, size_t length);

// Strict: any character outside the alphabet (white space and line breaks included), a missing
// or misplaced "=", or a length that is not a multiple of four fails. "" decodes to no bytes.
std::optional<std::vector<uint8_t>> decode(std::string_view text);

}  // namespace base64
