#pragma once

#include <png.h>

#include <cstddef>
#include <cstdint>

#include "imaging/embedded_color.h"
#include "imaging/pixel_buffer.h"

// libpng's reading of one PNG as straight RGBA8 converted to sRGB, before the canvas round trip:
// the whole image, or row by row for files that aren't interlaced. One thread. The bytes must
// outlive the reader.
namespace imaging {

class PngRowReader {
  public:
    PngRowReader(const uint8_t* bytes, size_t length) : source_{bytes, length, 0} {}
    ~PngRowReader();
    PngRowReader(const PngRowReader&) = delete;
    PngRowReader& operator=(const PngRowReader&) = delete;

    // Reads the header and prepares the colour conversion. False for a file libpng refuses, a
    // size over png::kMaxDecodePixels or one the file is too short to hold.
    bool open();
    uint32_t width() const { return width_; }
    uint32_t height() const { return height_; }
    bool interlaced() const { return passes_ > 1; }

    // The next row, width() * 4 bytes, for files that aren't interlaced. False when libpng fails.
    bool readRow(uint8_t* rgba);
    // Every row of every pass into image, which is sized here. False when libpng fails or memory
    // runs out.
    bool readImage(PixelBuffer& image);
    // Every row of every pass into one row of scratch memory, dropped as it goes: whether the
    // image data is whole, for the memory of a row. The reader is used up.
    bool readsThrough();

    struct Source {
        const uint8_t* bytes;
        size_t length;
        size_t offset;
    };

  private:
    bool readHeader();
    bool readRawRow(uint8_t* row);

    Source source_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    int passes_ = 1;
    bool isGray_ = false;
    EmbeddedColor tags_;  // points into info_
    EmbeddedConversion conversion_;
};

}  // namespace imaging
