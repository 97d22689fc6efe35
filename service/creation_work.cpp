#include "service/creation_work.h"

#include "imaging/png.h"
#include "service/effects.h"

namespace creation_work {

namespace {

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

// The size a PNG's header claims; false when the bytes don't start as a PNG.
bool pngSize(const std::vector<uint8_t>& bytes, uint64_t& pixels) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (bytes.size() < 33 || !std::equal(kSignature, kSignature + 8, bytes.begin()) ||
        std::string(bytes.begin() + 12, bytes.begin() + 16) != "IHDR") {
        return false;
    }
    pixels = uint64_t{bigEndian32(&bytes[16])} * bigEndian32(&bytes[20]);
    return true;
}

}  // namespace

Outcome render(const std::vector<uint8_t>& upload, const std::string& effect,
               const std::function<void(double)>& progress) {
    uint64_t pixels = 0;
    if (!pngSize(upload, pixels)) {
        return {{}, "The upload is not a PNG image."};
    }
    if (pixels > kMaxPixels) {
        return {{}, "The image is larger than 64 megapixels."};
    }
    progress(0.02);
    PixelBuffer image = png::decode(upload.data(), upload.size());
    if (image.empty()) {
        return {{}, "The image could not be read."};
    }
    progress(0.1);
    PixelBuffer result = effects::run(effect, image, progress);
    if (result.empty()) {
        return {{}, "The effect could not be applied to this image."};
    }
    std::vector<uint8_t> png = png::encode(result);
    if (png.empty()) {
        return {{}, "The result could not be encoded."};
    }
    return {std::move(png), {}};
}

}  // namespace creation_work
