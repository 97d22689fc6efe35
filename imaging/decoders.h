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

// A PNG canvas larger than kUnprovenCanvasBytes, claimed by a file more than
// kDensePngCanvasBytesPerByte times smaller, is more than photographs compress to: only flat or
// synthetic images, or hostile headers, get there. Such a file is read through once, a row at a
// time, before its canvas is allocated, so a few hundred kilobytes with a broken stream can't
// make us allocate and fill a gigabyte.
inline constexpr uint64_t kUnprovenCanvasBytes = uint64_t{32} << 20;
inline constexpr uint64_t kDensePngCanvasBytesPerByte = 64;

inline bool pngMustProveWhole(uint64_t canvasBytes, size_t fileLength) {
    return canvasBytes > kUnprovenCanvasBytes &&
           canvasBytes / kDensePngCanvasBytesPerByte > fileLength;
}

bool looksLikePng(const uint8_t* bytes, size_t length);
bool looksLikeJpeg(const uint8_t* bytes, size_t length);

PixelBuffer decodePngFile(const uint8_t* bytes, size_t length);
PixelBuffer decodeJpegFile(const uint8_t* bytes, size_t length);

// The plain 8-bit RGBA files png::encode writes, inflated in one piece. Returns false without
// touching out when the file is of another kind, must prove whole first (pngMustProveWhole) or
// anything about it is unexpected; the general reader then decides.
bool decodeOwnPngFast(const uint8_t* bytes, size_t length, PixelBuffer& out);

}  // namespace imaging
