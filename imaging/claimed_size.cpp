#include <turbojpeg.h>

#include <memory>

#include "imaging/decoders.h"
#include "imaging/png.h"

namespace png {
namespace {

uint32_t readBe32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};

}  // namespace

std::optional<ClaimedSize> claimedSize(const uint8_t* bytes, size_t length) {
    if (bytes == nullptr) {
        return std::nullopt;
    }
    // The signature, then IHDR's length and type, then its width and height.
    if (imaging::looksLikePng(bytes, length)) {
        if (length < 24 || readBe32(bytes + 8) != 13 || readBe32(bytes + 12) != 0x49484452u) {
            return std::nullopt;
        }
        return ClaimedSize{readBe32(bytes + 16), readBe32(bytes + 20)};
    }
    if (imaging::looksLikeJpeg(bytes, length) && length <= 0xffffffffu) {
        std::unique_ptr<void, TjDeleter> tj(tjInitDecompress());
        int width = 0;
        int height = 0;
        int subsampling = 0;
        int colorspace = 0;
        if (tj &&
            tjDecompressHeader3(tj.get(), bytes, static_cast<unsigned long>(length), &width,
                                &height, &subsampling, &colorspace) == 0 &&
            width > 0 && height > 0) {
            return ClaimedSize{static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
        }
    }
    return std::nullopt;
}

}  // namespace png
