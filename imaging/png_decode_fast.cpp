#include <libdeflate.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/checked_size.h"
#include "imaging/decoders.h"
#include "imaging/large_pages.h"
#include "imaging/png.h"
#include "imaging/png_unfilter.h"

namespace imaging {
namespace {

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

uint32_t readBe32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

struct Chunk {
    uint32_t type;
    const uint8_t* data;
    uint32_t length;
};

constexpr uint32_t tag(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// Reads the chunk at offset and checks its CRC; false when it doesn't fit or doesn't check.
bool nextChunk(const uint8_t* bytes, size_t length, size_t& offset, Chunk& chunk) {
    if (length - offset < 12) {
        return false;
    }
    uint32_t dataLength = readBe32(bytes + offset);
    if (dataLength > 0x7fffffffu || dataLength > length - offset - 12) {
        return false;
    }
    const uint8_t* typeAndData = bytes + offset + 4;
    uint32_t crc = readBe32(typeAndData + 4 + dataLength);
    if (libdeflate_crc32(0, typeAndData, size_t{dataLength} + 4) != crc) {
        return false;
    }
    chunk = {readBe32(typeAndData), typeAndData + 4, dataLength};
    offset += size_t{dataLength} + 12;
    return true;
}

}  // namespace

bool decodeOwnPngFast(const uint8_t* bytes, size_t length, PixelBuffer& out) {
    if (!looksLikePng(bytes, length)) {
        return false;
    }
    size_t offset = 8;
    Chunk chunk{};
    if (!nextChunk(bytes, length, offset, chunk) || chunk.type != tag("IHDR") ||
        chunk.length != 13) {
        return false;
    }
    const uint8_t* h = chunk.data;
    uint32_t width = readBe32(h);
    uint32_t height = readBe32(h + 4);
    if (width == 0 || height == 0 || width > 0x7fffffffu || height > 0x7fffffffu ||
        uint64_t{width} * height > png::kMaxDecodePixels || h[8] != 8 || h[9] != 6 || h[10] != 0 ||
        h[11] != 0 || h[12] != 0) {
        return false;
    }
    // Only the chunks png::encode writes, each as often as it writes them, and text; anything
    // else goes to the general reader. (libpng takes a second sRGB chunk as a broken colour tag
    // and converts otherwise.)
    std::vector<Chunk> idat;
    bool tagged = false;
    bool ended = false;
    while (!ended) {
        if (!nextChunk(bytes, length, offset, chunk)) {
            return false;
        }
        if (chunk.type == tag("IDAT")) {
            idat.push_back(chunk);
        } else if (chunk.type == tag("IEND")) {
            ended = true;
        } else if (chunk.type == tag("tEXt")) {
            // Text never changes a pixel; spool files carry their picture's mark in one.
        } else if (chunk.type == tag("sRGB") && idat.empty() && !tagged) {
            tagged = true;
        } else {
            return false;
        }
    }
    if (idat.empty()) {
        return false;
    }
    const size_t rowBytes = size_t{width} * 4;
    auto filteredBytes = checkedMul(rowBytes + 1, height);
    if (!filteredBytes || *filteredBytes / 1040 > length ||
        pngMustProveWhole(uint64_t{rowBytes} * height, length)) {
        return false;
    }
    std::vector<uint8_t> joined;
    const uint8_t* stream = idat[0].data;
    size_t streamLength = idat[0].length;
    if (idat.size() > 1) {
        for (const Chunk& c : idat) {
            joined.insert(joined.end(), c.data, c.data + c.length);
        }
        stream = joined.data();
        streamLength = joined.size();
    }
    std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> inflater(
        libdeflate_alloc_decompressor());
    if (!inflater) {
        return false;
    }
    // Inflate straight into the canvas, which is one row of filter bytes longer than the image;
    // rows then unfilter downwards over those bytes and the tail is cut off.
    std::vector<uint8_t> canvas;
    resizeInLargePages(canvas, *filteredBytes);
    if (libdeflate_zlib_decompress(inflater.get(), stream, streamLength, canvas.data(),
                                   canvas.size(), nullptr) != LIBDEFLATE_SUCCESS) {
        return false;
    }
    std::vector<uint8_t> zeroRow(rowBytes, 0);
    const uint8_t* prev = zeroRow.data();
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* src = canvas.data() + y * (rowBytes + 1);
        uint8_t* dst = canvas.data() + y * rowBytes;
        if (!unfilterRow(src[0], src + 1, dst, prev, rowBytes)) {
            return false;
        }
        prev = dst;
    }
    canvas.resize(rowBytes * height);
    out.width = width;
    out.height = height;
    out.rgba = std::move(canvas);
    return true;
}

}  // namespace imaging
