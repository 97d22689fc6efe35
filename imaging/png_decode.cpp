#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/checked_size.h"
#include "imaging/decoders.h"
#include "imaging/embedded_color.h"
#include "imaging/large_pages.h"
#include "imaging/png.h"
#include "imaging/png_rows.h"

namespace imaging {
namespace {

// Deflate can't expand its input by more than about 1032 times, so a file claiming more raw
// image data than this per byte of file is truncated or hostile, and is refused before the
// canvas is allocated.
constexpr uint64_t kMaxInflateRatio = 1040;
constexpr uint64_t kInflateSlack = 4096;

// Runs inside libpng: only trivial locals, since png_error leaves through longjmp.
void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* src = static_cast<PngRowReader::Source*>(png_get_io_ptr(png));
    if (count > src->length - src->offset) {
        png_error(png, "read past end");
    }
    std::memcpy(out, src->bytes + src->offset, count);
    src->offset += count;
}

void ignoreWarning(png_structp, png_const_charp) {}

void errorToJump(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

bool rawSizePlausible(uint32_t width, uint32_t height, int channels, int bitDepth,
                      size_t fileLength) {
    uint64_t rowBits = uint64_t{width} * static_cast<uint64_t>(channels * bitDepth);
    uint64_t raw = (rowBits + 7) / 8 * height + height;
    return raw / kMaxInflateRatio <= fileLength + kInflateSlack / kMaxInflateRatio;
}

void collectTags(png_structp png, png_infop info, EmbeddedColor& tags) {
    int intent = 0;
    if (png_get_sRGB(png, info, &intent)) {
        tags.srgbTagged = true;
        return;
    }
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profileLength) && profile &&
        profileLength > 0) {
        tags.iccProfile = profile;
        tags.iccLength = profileLength;
        return;
    }
    double gamma = 0;
    if (png_get_gAMA(png, info, &gamma) && gamma > 0) {
        tags.fileGamma = gamma;
    }
    Chromaticities c{};
    if (png_get_cHRM(png, info, &c.whiteX, &c.whiteY, &c.redX, &c.redY, &c.greenX, &c.greenY,
                     &c.blueX, &c.blueY)) {
        tags.chromaticities = c;
    }
}

}  // namespace

bool looksLikePng(const uint8_t* bytes, size_t length) {
    return length >= 8 && png_sig_cmp(bytes, 0, 8) == 0;
}

PngRowReader::~PngRowReader() {
    if (png_) {
        png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
    }
}

bool PngRowReader::open() {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, errorToJump, ignoreWarning);
    if (!png_) {
        return false;
    }
    info_ = png_create_info_struct(png_);
    return info_ && readHeader() && prepareEmbeddedConversion(isGray_, tags_, conversion_);
}

// Between setjmp and a possible longjmp only trivial locals live here; the members are in
// memory, so what a jump leaves behind is well defined.
bool PngRowReader::readHeader() {
    if (setjmp(png_jmpbuf(png_))) {
        return false;
    }
    png_set_read_fn(png_, &source_, readFromMemory);
    png_set_user_limits(png_, 0x7fffffff, 0x7fffffff);
    png_set_chunk_cache_max(png_, 64);
    png_set_chunk_malloc_max(png_, 16u << 20);
    png_set_benign_errors(png_, 1);
    // Chunks the decoder has no use for are skipped rather than parsed and stored.
    static const png_byte kSkipped[] =
        "tEXt\0zTXt\0iTXt\0tIME\0sPLT\0eXIf\0pCAL\0sCAL\0hIST\0bKGD\0pHYs\0oFFs\0sBIT\0";
    png_set_keep_unknown_chunks(png_, PNG_HANDLE_CHUNK_NEVER, kSkipped, 13);
    png_read_info(png_, info_);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(png_, info_, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (width == 0 || height == 0 || uint64_t{width} * uint64_t{height} > png::kMaxDecodePixels ||
        !rawSizePlausible(width, height, png_get_channels(png_, info_), bitDepth, source_.length)) {
        return false;
    }
    isGray_ = (colorType & PNG_COLOR_MASK_COLOR) == 0;
    collectTags(png_, info_, tags_);

    png_set_expand(png_);  // palette to RGB, tRNS to alpha, low-bit grey to 8 bits
    png_set_scale_16(png_);
    if (isGray_) {
        png_set_gray_to_rgb(png_);
    }
    if ((colorType & PNG_COLOR_MASK_ALPHA) == 0) {
        png_set_add_alpha(png_, 0xffff, PNG_FILLER_AFTER);
    }
    passes_ = png_set_interlace_handling(png_);
    png_read_update_info(png_, info_);
    if (png_get_rowbytes(png_, info_) != size_t{width} * 4) {
        return false;
    }
    width_ = width;
    height_ = height;
    return true;
}

bool PngRowReader::readRawRow(uint8_t* row) {
    if (setjmp(png_jmpbuf(png_))) {
        return false;
    }
    png_read_row(png_, row, nullptr);
    return true;
}

bool PngRowReader::readRow(uint8_t* rgba) {
    if (!readRawRow(rgba)) {
        return false;
    }
    applyEmbeddedConversion(conversion_, rgba, width_);
    return true;
}

bool PngRowReader::readImage(PixelBuffer& image) {
    try {
        resizeInLargePages(image.rgba, size_t{width_} * height_ * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    image.width = width_;
    image.height = height_;
    uint8_t* rows = image.rgba.data();
    for (int pass = 0; pass < passes_; ++pass) {
        for (uint32_t y = 0; y < height_; ++y) {
            if (!readRawRow(rows + size_t{y} * width_ * 4)) {
                return false;
            }
        }
    }
    applyEmbeddedConversion(conversion_, rows, image.rgba.size() / 4);
    return true;
}

bool PngRowReader::readsThrough() {
    std::vector<uint8_t> row;
    try {
        row.resize(size_t{width_} * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int pass = 0; pass < passes_; ++pass) {
        for (uint32_t y = 0; y < height_; ++y) {
            if (!readRawRow(row.data())) {
                return false;
            }
        }
    }
    return true;
}

PixelBuffer decodePngFile(const uint8_t* bytes, size_t length) {
    PngRowReader reader(bytes, length);
    PixelBuffer image;
    if (!reader.open()) {
        return {};
    }
    if (pngMustProveWhole(uint64_t{reader.width()} * reader.height() * 4, length)) {
        PngRowReader proof(bytes, length);
        if (!proof.open() || !proof.readsThrough()) {
            return {};
        }
    }
    if (!reader.readImage(image)) {
        return {};
    }
    return image;
}

}  // namespace imaging
