#pragma once

#include <cstdint>
#include <vector>

#include "imaging/pixel_buffer.h"

// Up-filtered PNG scanlines compressed as raw deflate. Any thread; the image is only read.
namespace imaging {

// Appends rows [begin, end) of the image, each a filter byte 2 and the row minus the row above
// it, as raw deflate to out. A part that isn't the last ends on a byte boundary without the
// final-block bit, so parts compressed independently join into one stream. adler is the
// checksum of the filtered bytes of this part alone. False when compression failed.
bool deflateRows(const PixelBuffer& image, uint32_t begin, uint32_t end, bool last,
                 std::vector<uint8_t>& out, uint32_t& adler);

// Whether deflateRows can make parts that aren't the last (the ISA-L build can).
bool canDeflateInParts();

// Checksum of two joined runs from the checksums of each and the length of the second.
uint32_t adler32Combine(uint32_t first, uint32_t second, uint64_t secondLength);

}  // namespace imaging
