#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/pixel_buffer.h"

// The PNG codec and cover-fit resampler. Pure functions: no state, any thread, concurrently.
// Failures are the empty result; nothing throws.
namespace png {

// The largest image decode accepts, in pixels (256 megapixels: a 1 GiB canvas). Spool files and
// host documents are far smaller, so anything above this is refused before a byte is allocated:
// a few bytes of hostile header could otherwise ask the host process for gigabytes. A real
// 8192 x 8192 image (64 MP) is well inside.
inline constexpr uint64_t kMaxDecodePixels = uint64_t{1} << 28;

// Straight-alpha RGBA tagged as sRGB; the empty vector when the buffer is empty or encoding fails.
std::vector<uint8_t> encode(const PixelBuffer& image);

// Any PNG kind or a JPEG, converted to sRGB and drawn through a premultiplied canvas; the empty
// buffer for anything that isn't a decodable image or that exceeds kMaxDecodePixels.
PixelBuffer decode(const uint8_t* bytes, size_t length);

// What decodeFile found.
struct DecodedFile {
    PixelBuffer image;
    // The file is of the plain kind encode writes (8-bit RGBA, not interlaced, an sRGB chunk or
    // no colour chunk at all, IDAT, IEND; text chunks aside) and holds exactly image's pixels,
    // drawing included:
    // every reader sees these pixels in it, so the bytes can stand for encode(image).
    bool standsForEncode = false;
};

// decode, also telling whether the bytes can stand for an encoding of the result.
DecodedFile decodeFile(const uint8_t* bytes, size_t length);

// The width and height that a PNG's or a JPEG's header claims, read without decoding anything;
// none for other bytes or a header that can't be read.
struct ClaimedSize {
    uint32_t width = 0;
    uint32_t height = 0;
};
std::optional<ClaimedSize> claimedSize(const uint8_t* bytes, size_t length);

// Scales so the source covers targetWidth x targetHeight, centred, cropping the overhang.
PixelBuffer fitCover(const PixelBuffer& source, uint32_t targetWidth, uint32_t targetHeight);

// fitCover(decode(bytes, length), targetWidth, targetHeight), byte for byte, without holding the
// decoded image beside the fitted one: rows of a PNG that isn't interlaced go straight into the
// fitted canvas as they are read, so its own size costs a row, whatever it claims. Other files
// take the two steps.
PixelBuffer decodeCover(const uint8_t* bytes, size_t length, uint32_t targetWidth,
                        uint32_t targetHeight);
// decodeCover, also telling (as decodeFile does) whether the bytes stand for an encoding of the
// result, which they can only when the file already has the target size.
DecodedFile decodeCoverFile(const uint8_t* bytes, size_t length, uint32_t targetWidth,
                            uint32_t targetHeight);

}  // namespace png
