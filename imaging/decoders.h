#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/pixel_buffer.h"

// The format readers behind png::decode. Each returns straight RGBA converted to sRGB, before the
// canvas round trip, or the empty buffer. Any thread; nothing throws.
namespace imaging {

// Photographs hold far fewer pixels per byte of JPEG than this; only flat or synthetic images,
// or hostile headers, reach it. Such files must prove intact before their canvas is allocated.
inline constexpr uint32_t kDenseJpegPixelsPerByte = 128;

bool looksLikePng(const uint8_t* bytes, size_t length);
bool looksLikeJpeg(const uint8_t* bytes, size_t length);

PixelBuffer decodePngFile(const uint8_t* bytes, size_t length);
PixelBuffer decodeJpegFile(const uint8_t* bytes, size_t length);

// The plain 8-bit RGBA files png::encode writes, inflated in one piece. Returns false without
// touching out when the file is of another kind or anything about it is unexpected; the general
// reader then decides.
bool decodeOwnPngFast(const uint8_t* bytes, size_t length, PixelBuffer& out);

}  // namespace imaging
