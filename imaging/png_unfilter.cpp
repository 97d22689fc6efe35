#include "imaging/png_unfilter.h"

#include <cstdlib>

namespace imaging {
namespace {

constexpr size_t kBpp = 4;

inline uint8_t paeth(int a, int b, int c) {
    int p = a + b - c;
    int pa = std::abs(p - a);
    int pb = std::abs(p - b);
    int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) {
        return static_cast<uint8_t>(a);
    }
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

}  // namespace

bool unfilterRow(uint8_t filter, const uint8_t* src, uint8_t* dst, const uint8_t* prev,
                 size_t bytes) {
    switch (filter) {
        case 0:
            for (size_t i = 0; i < bytes; ++i) {
                dst[i] = src[i];
            }
            return true;
        case 1:
            for (size_t i = 0; i < bytes; ++i) {
                dst[i] = static_cast<uint8_t>(src[i] + (i >= kBpp ? dst[i - kBpp] : 0));
            }
            return true;
        case 2:
            for (size_t i = 0; i < bytes; ++i) {
                dst[i] = static_cast<uint8_t>(src[i] + prev[i]);
            }
            return true;
        case 3:
            for (size_t i = 0; i < bytes; ++i) {
                unsigned left = i >= kBpp ? dst[i - kBpp] : 0;
                dst[i] = static_cast<uint8_t>(src[i] + ((left + prev[i]) >> 1));
            }
            return true;
        case 4:
            for (size_t i = 0; i < bytes; ++i) {
                int left = i >= kBpp ? dst[i - kBpp] : 0;
                int upLeft = i >= kBpp ? prev[i - kBpp] : 0;
                dst[i] = static_cast<uint8_t>(src[i] + paeth(left, prev[i], upLeft));
            }
            return true;
        default:
            return false;
    }
}

}  // namespace imaging
