#include "panel/bridge/base64.h"

#include <array>

#include "imaging/large_pages.h"

namespace base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> makeReverse() {
    std::array<int8_t, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    }
    return table;
}
constexpr auto kReverse = makeReverse();

}  // namespace

std::string encode(const uint8_t* bytes, size_t length) {
    std::string out;
    out.resize((length + 2) / 3 * 4);
    char* o = out.data();
    size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        uint32_t v = (uint32_t{bytes[i]} << 16) | (uint32_t{bytes[i + 1]} << 8) | bytes[i + 2];
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = kAlphabet[v & 63];
    }
    if (size_t rest = length - i; rest > 0) {
        uint32_t v = uint32_t{bytes[i]} << 16;
        if (rest == 2) {
            v |= uint32_t{bytes[i + 1]} << 8;
        }
        *o++ = kAlphabet[(v >> 18) & 63];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
    return out;
}

std::optional<std::vector<uint8_t>> decode(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    size_t pad = 0;
    if (!text.empty() && text.back() == '=') {
        pad = text[text.size() - 2] == '=' ? 2 : 1;
    }
    std::vector<uint8_t> out;
    imaging::resizeInLargePages(out, text.size() / 4 * 3 - pad);
    uint8_t* o = out.data();
    const size_t whole = text.empty() ? 0 : text.size() - 4;
    const auto digit = [](char c) { return kReverse[static_cast<uint8_t>(c)]; };
    // Every group but the last holds four alphabet characters; "=" anywhere there fails.
    for (size_t i = 0; i < whole; i += 4) {
        const int d0 = digit(text[i]), d1 = digit(text[i + 1]);
        const int d2 = digit(text[i + 2]), d3 = digit(text[i + 3]);
        if ((d0 | d1 | d2 | d3) < 0) {
            return std::nullopt;
        }
        const uint32_t v = (static_cast<uint32_t>(d0) << 18) | (static_cast<uint32_t>(d1) << 12) |
                           (static_cast<uint32_t>(d2) << 6) | static_cast<uint32_t>(d3);
        *o++ = static_cast<uint8_t>(v >> 16);
        *o++ = static_cast<uint8_t>(v >> 8);
        *o++ = static_cast<uint8_t>(v);
    }
    if (text.empty()) {
        return out;
    }
    uint32_t v = 0;
    for (size_t k = 0; k < 4 - pad; ++k) {
        int8_t d = digit(text[whole + k]);
        if (d < 0) {
            return std::nullopt;
        }
        v |= static_cast<uint32_t>(d) << (18 - 6 * k);
    }
    *o++ = static_cast<uint8_t>(v >> 16);
    if (pad < 2) {
        *o++ = static_cast<uint8_t>(v >> 8);
    }
    if (pad < 1) {
        *o = static_cast<uint8_t>(v);
    }
    return out;
}

}  // namespace base64
