#include <turbojpeg.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/checked_size.h"
#include "imaging/decoders.h"
#include "imaging/embedded_color.h"
#include "imaging/large_pages.h"
#include "imaging/png.h"

namespace imaging {
namespace {

struct TjDeleter {
    void operator()(void* handle) const { tjDestroy(handle); }
};

// Joins the ICC profile that APP2 "ICC_PROFILE" segments carry, in their sequence order. An
// incomplete or inconsistent set gives no profile (the image is then taken as sRGB).
std::vector<uint8_t> embeddedProfile(const uint8_t* bytes, size_t length) {
    static const char kIccTag[] = "ICC_PROFILE";  // 12 bytes with its terminator
    std::vector<std::vector<uint8_t>> pieces;
    size_t offset = 2;
    while (offset + 4 <= length) {
        if (bytes[offset] != 0xFF) {
            return {};
        }
        uint8_t marker = bytes[offset + 1];
        if (marker == 0xFF) {
            ++offset;  // fill byte
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            break;  // start of scan or end of image: no more header segments
        }
        size_t segment = (size_t{bytes[offset + 2]} << 8) | bytes[offset + 3];
        if (segment < 2 || segment > length - offset - 2) {
            return {};
        }
        const uint8_t* data = bytes + offset + 4;
        size_t dataLength = segment - 2;
        if (marker == 0xE2 && dataLength > 14 && std::memcmp(data, kIccTag, 12) == 0) {
            unsigned sequence = data[12];
            unsigned count = data[13];
            if (count == 0 || sequence == 0 || sequence > count) {
                return {};
            }
            if (pieces.empty()) {
                pieces.resize(count);
            } else if (pieces.size() != count) {
                return {};
            }
            pieces[sequence - 1].assign(data + 14, data + dataLength);
        }
        offset += 2 + segment;
    }
    std::vector<uint8_t> profile;
    for (const auto& piece : pieces) {
        if (piece.empty()) {
            return {};
        }
        profile.insert(profile.end(), piece.begin(), piece.end());
    }
    return profile;
}

// Decodes the file at an eighth of its size, which reads all of its entropy-coded data for a
// sixty-fourth of the memory: a cheap proof that a suspiciously small file really is whole
// before its full canvas is allocated.
bool decodesIntactAtEighth(void* tj, const uint8_t* bytes, unsigned long size, int width,
                           int height, bool cmyk, int flags) {
    const tjscalingfactor eighth = {1, 8};
    int w = TJSCALED(width, eighth);
    int h = TJSCALED(height, eighth);
    std::vector<uint8_t> small(size_t(w) * size_t(h) * 4);
    return tjDecompress2(tj, bytes, size, small.data(), w, w * 4, h, cmyk ? TJPF_CMYK : TJPF_RGBA,
                         flags) == 0;
}

}  // namespace

bool looksLikeJpeg(const uint8_t* bytes, size_t length) {
    return length >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

PixelBuffer decodeJpegFile(const uint8_t* bytes, size_t length) {
    if (length > 0xffffffffu) {
        return {};
    }
    std::unique_ptr<void, TjDeleter> tj(tjInitDecompress());
    if (!tj) {
        return {};
    }
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colorspace = 0;
    auto size = static_cast<unsigned long>(length);
    if (tjDecompressHeader3(tj.get(), bytes, size, &width, &height, &subsampling, &colorspace) !=
            0 ||
        width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > png::kMaxDecodePixels) {
        return {};
    }
    const bool cmyk = colorspace == TJCS_CMYK || colorspace == TJCS_YCCK;
    auto canvasBytes = rgbaBytes(static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    if (!canvasBytes) {
        return {};
    }
    // Progressive files with thousands of scans are a known way to burn CPU; such files are
    // refused. A file of ordinary density that libjpeg only warns about (a few bytes missing
    // at the end, stray bytes between segments) still gives the image libjpeg made; a tiny file
    // claiming a huge image must decode without any complaint, so a few hundred hostile bytes
    // can't make us fill a gigabyte canvas with guesses.
    int flags = TJFLAG_LIMITSCANS;
    if (uint64_t(width) * uint64_t(height) > uint64_t{kDenseJpegPixelsPerByte} * length) {
        flags |= TJFLAG_STOPONWARNING;
        if (!decodesIntactAtEighth(tj.get(), bytes, size, width, height, cmyk, flags)) {
            return {};
        }
    }
    PixelBuffer image;
    image.width = static_cast<uint32_t>(width);
    image.height = static_cast<uint32_t>(height);
    imaging::resizeInLargePages(image.rgba, *canvasBytes);
    if (tjDecompress2(tj.get(), bytes, size, image.rgba.data(), width, width * 4, height,
                      cmyk ? TJPF_CMYK : TJPF_RGBA, flags) != 0 &&
        tjGetErrorCode(tj.get()) != TJERR_WARNING) {
        return {};
    }
    std::vector<uint8_t> profile = embeddedProfile(bytes, length);
    size_t pixels = image.rgba.size() / 4;
    if (cmyk) {
        if (!convertCmykToSrgb(image.rgba.data(), image.rgba.data(), pixels, profile.data(),
                               profile.size())) {
            return {};
        }
        return image;
    }
    if (!profile.empty()) {
        EmbeddedColor tags;
        tags.iccProfile = profile.data();
        tags.iccLength = profile.size();
        bool gray = colorspace == TJCS_GRAY;
        if (!convertEmbeddedToSrgb(image.rgba.data(), pixels, gray, tags)) {
            return {};
        }
    }
    return image;
}

}  // namespace imaging
