#include "panel/bridge/base64.h"

#include <array>

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
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        int pad = 0;
        if (last && text[i + 3] == '=') {
            pad = text[i + 2] == '=' ? 2 : 1;
        }
        uint32_t v = 0;
        for (int k = 0; k < 4 - pad; ++k) {
            int8_t d = kReverse[static_cast<uint8_t>(text[i + k])];
            if (d < 0) {
                return std::nullopt;
            }
            v |= static_cast<uint32_t>(d) << (18 - 6 * k);
        }
        out.push_back(static_cast<uint8_t>(v >> 16));
        if (pad < 2) {
            out.push_back(static_cast<uint8_t>(v >> 8));
        }
        if (pad < 1) {
            out.push_back(static_cast<uint8_t>(v));
        }
    }
    return out;
}

}  // namespace base64
