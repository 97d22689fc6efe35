#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// Size arithmetic that reports overflow instead of wrapping. Any thread.
namespace imaging {

inline std::optional<size_t> checkedMul(size_t a, size_t b) {
    size_t r = 0;
    if (__builtin_mul_overflow(a, b, &r)) {
        return std::nullopt;
    }
    return r;
}

inline std::optional<size_t> checkedMul(size_t a, size_t b, size_t c) {
    auto ab = checkedMul(a, b);
    return ab ? checkedMul(*ab, c) : std::nullopt;
}

inline std::optional<size_t> checkedAdd(size_t a, size_t b) {
    size_t r = 0;
    if (__builtin_add_overflow(a, b, &r)) {
        return std::nullopt;
    }
    return r;
}

// Bytes of a tightly packed RGBA image, or nothing when that doesn't fit in size_t.
inline std::optional<size_t> rgbaBytes(uint32_t width, uint32_t height) {
    return checkedMul(width, height, 4);
}

}  // namespace imaging
