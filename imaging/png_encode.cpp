#include <libdeflate.h>

#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "imaging/checked_size.h"
#include "imaging/large_pages.h"
#include "imaging/png.h"
#include "imaging/png_encode_threads.h"
#include "imaging/row_deflate.h"

namespace imaging {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr uint32_t kMaxChunkData = 0x7fffffffu;
// Images smaller than this are compressed on one thread: a second one wouldn't pay for itself.
constexpr size_t kParallelBytes = size_t{4} << 20;

void putBe32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void setBe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void putChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, uint32_t length) {
    putBe32(out, length);
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + length);
    putBe32(out, libdeflate_crc32(0, out.data() + start, size_t{length} + 4));
}

// Compresses the whole image as one zlib stream appended to out: on two threads (two deflate
// parts joined at a byte boundary) when the image is large enough and the build can.
bool appendZlibStream(const PixelBuffer& image, unsigned threads, std::vector<uint8_t>& out) {
    const size_t rowBytes = size_t{image.width} * 4;
    out.push_back(0x78);  // deflate, 32 KiB window
    out.push_back(0x01);  // fastest-compression hint; header checksum makes 0x7801 divisible by 31
    uint32_t adler = 1;
    bool parallel = imaging::canDeflateInParts() && image.height >= 2 &&
                    image.rgba.size() >= kParallelBytes && threads > 1;
    if (!parallel) {
        if (!imaging::deflateRows(image, 0, image.height, true, out, adler)) {
            return false;
        }
    } else {
        uint32_t split = image.height / 2;
        std::vector<uint8_t> tail;
        imaging::reserveInLargePages(tail, (image.height - split) * (rowBytes + 1) + 4096);
        uint32_t tailAdler = 1;
        bool tailOk = false;
        std::thread worker([&] {
            try {
                tailOk = imaging::deflateRows(image, split, image.height, true, tail, tailAdler);
            } catch (...) {
                tailOk = false;
            }
        });
        bool headOk = false;
        try {
            headOk = imaging::deflateRows(image, 0, split, false, out, adler);
        } catch (...) {
            headOk = false;
        }
        worker.join();
        if (!headOk || !tailOk) {
            return false;
        }
        out.insert(out.end(), tail.begin(), tail.end());
        adler = imaging::adler32Combine(adler, tailAdler,
                                        uint64_t{image.height - split} * (rowBytes + 1));
    }
    putBe32(out, adler);
    return true;
}

}  // namespace

std::vector<uint8_t> encodePngWithThreads(const PixelBuffer& image, unsigned threads) {
    if (image.empty() || image.width > kMaxChunkData || image.height > kMaxChunkData) {
        return {};
    }
    auto bytes = imaging::rgbaBytes(image.width, image.height);
    auto filtered = imaging::checkedMul(size_t{image.width} * 4 + 1, image.height);
    if (!bytes || !filtered || image.rgba.size() != *bytes) {
        return {};
    }
    try {
        std::vector<uint8_t> out;
        // Address space only: pages are touched as the compressor writes into them.
        imaging::reserveInLargePages(out, *filtered + *filtered / 64 + 4096);
        out.insert(out.end(), kSignature, kSignature + 8);
        uint8_t header[13];
        setBe32(header, image.width);
        setBe32(header + 4, image.height);
        header[8] = 8;   // bits per sample
        header[9] = 6;   // RGBA
        header[10] = 0;  // deflate
        header[11] = 0;  // adaptive filtering
        header[12] = 0;  // not interlaced
        putChunk(out, "IHDR", header, 13);
        const uint8_t perceptual = 0;
        putChunk(out, "sRGB", &perceptual, 1);

        size_t idatStart = out.size();
        out.resize(idatStart + 8);  // length and type, filled in once the length is known
        if (!appendZlibStream(image, threads, out)) {
            return {};
        }
        size_t streamLength = out.size() - idatStart - 8;
        if (streamLength <= kMaxChunkData) {
            setBe32(&out[idatStart], static_cast<uint32_t>(streamLength));
            std::memcpy(&out[idatStart + 4], "IDAT", 4);
            putBe32(out, libdeflate_crc32(0, &out[idatStart + 4], streamLength + 4));
        } else {
            // A stream too long for one chunk is spread over several.
            std::vector<uint8_t> stream(out.begin() + static_cast<ptrdiff_t>(idatStart + 8),
                                        out.end());
            out.resize(idatStart);
            for (size_t at = 0; at < stream.size(); at += kMaxChunkData) {
                size_t n = std::min<size_t>(kMaxChunkData, stream.size() - at);
                putChunk(out, "IDAT", stream.data() + at, static_cast<uint32_t>(n));
            }
        }
        putChunk(out, "IEND", nullptr, 0);
        return out;
    } catch (...) {
        return {};
    }
}

}  // namespace imaging

namespace png {

std::vector<uint8_t> encode(const PixelBuffer& image) {
    return imaging::encodePngWithThreads(image, std::thread::hardware_concurrency() > 1 ? 2 : 1);
}

}  // namespace png
