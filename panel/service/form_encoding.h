#pragma once

#include <string>
#include <string_view>

// Encodes one value of an application/x-www-form-urlencoded body: Unicode letters, marks and
// numbers and "-._~" stay as they are (as UTF-8); every other character becomes the upper-case
// percent-escapes of its UTF-8 bytes. Text that isn't valid UTF-8 becomes "". Any thread.
std::string formEncode(std::string_view text);
