#include "host/document.h"

#include <cstring>

#include "imaging/large_pages.h"

namespace {

constexpr uint64_t kMaxDocumentPixels = uint64_t{1} << 28;
constexpr size_t kRowPadding = 24;  // deliberately not a multiple of anything convenient

}  // namespace

Document makeDocument(uint32_t width, uint32_t height, int channels) {
    Document document;
    if (width == 0 || height == 0 || uint64_t{width} * height > kMaxDocumentPixels ||
        (channels != 3 && channels != 4)) {
        return document;
    }
    document.width = width;
    document.height = height;
    document.channels = channels;
    document.rowBytes = size_t{width} * static_cast<size_t>(channels) + kRowPadding;
    imaging::resizeInLargePages(document.pixels, document.rowBytes * height);
    return document;
}

bool samePixels(const Document& a, const Document& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels) {
        return false;
    }
    const size_t used = size_t{a.width} * static_cast<size_t>(a.channels);
    for (uint32_t y = 0; y < a.height; ++y) {
        if (std::memcmp(a.row(y), b.row(y), used) != 0) {
            return false;
        }
    }
    return true;
}
