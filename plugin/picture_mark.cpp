#include "plugin/picture_mark.h"

#include <stdio.h>

#include <charconv>

namespace picture_mark {
namespace {

constexpr char kAlgorithm[] = "xxh3-128:";
// Longer than any mark format writes; text beyond it is never copied out of a file.
constexpr size_t kMaxTextBytes = 128;

bool readHex64(std::string_view& text, uint64_t& value) {
    if (text.size() < 16) {
        return false;
    }
    for (char c : text.substr(0, 16)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    std::from_chars(text.data(), text.data() + 16, value, 16);
    text.remove_prefix(16);
    return true;
}

// Decimal digits without sign or leading zero, then `separator` unless at the end.
bool readNumber(std::string_view& text, uint32_t& value, char separator) {
    if (text.empty() || text[0] < '1' || text[0] > '9') {
        return false;
    }
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    if (error != std::errc()) {
        return false;
    }
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    if (separator == '\0') {
        return text.empty();
    }
    if (text.empty() || text[0] != separator) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

}  // namespace

std::string format(const PictureMark& mark) {
    char text[kMaxTextBytes];
    snprintf(text, sizeof text, "%s%016llx%016llx %ux%ux%u", kAlgorithm,
             static_cast<unsigned long long>(mark.high), static_cast<unsigned long long>(mark.low),
             mark.width, mark.height, mark.planes);
    return text;
}

std::optional<PictureMark> parse(std::string_view text) {
    PictureMark mark;
    if (text.substr(0, sizeof kAlgorithm - 1) != kAlgorithm) {
        return std::nullopt;
    }
    text.remove_prefix(sizeof kAlgorithm - 1);
    if (!readHex64(text, mark.high) || !readHex64(text, mark.low) || text.empty() ||
        text[0] != ' ') {
        return std::nullopt;
    }
    text.remove_prefix(1);
    if (!readNumber(text, mark.width, 'x') || !readNumber(text, mark.height, 'x') ||
        !readNumber(text, mark.planes, '\0')) {
        return std::nullopt;
    }
    return mark;
}

Found find(const uint8_t* bytes, size_t length) {
    const png::TextLookup lookup = png::findText(bytes, length, kKeyword, kMaxTextBytes);
    Found found;
    found.present = lookup.present;
    if (lookup.text) {
        found.mark = parse(*lookup.text);
    }
    return found;
}

std::optional<png::TextSplice> spliced(const uint8_t* bytes, size_t length,
                                       const PictureMark& mark) {
    return png::spliceText(bytes, length, kKeyword, format(mark));
}

}  // namespace picture_mark
