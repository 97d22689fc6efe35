#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/checked_size.h"
#include "imaging/decoders.h"
#include "imaging/embedded_color.h"
#include "imaging/png.h"

namespace imaging {
namespace {

// Deflate can't expand its input by more than about 1032 times, so a file claiming more raw
// image data than this per byte of file is truncated or hostile, and is refused before the
// canvas is allocated.
constexpr uint64_t kMaxInflateRatio = 1040;
constexpr uint64_t kInflateSlack = 4096;

struct ReadSource {
    const uint8_t* bytes;
    size_t length;
    size_t offset;
};

// Runs inside libpng: only trivial locals, since png_error leaves through longjmp.
void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* src = static_cast<ReadSource*>(png_get_io_ptr(png));
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

struct ReadStructDeleter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~ReadStructDeleter() {
        if (png) {
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        }
    }
};

// What the reader found; lives outside the setjmp frame so a jump can't skip its destructor.
struct ReadState {
    PixelBuffer image;
    EmbeddedColor tags;
    bool isGray = false;
};

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

// Reads the whole image as straight RGBA8. Objects with destructors live in the callers' frames
// only; here, between setjmp and a possible longjmp, everything is trivial.
bool readPng(ReadStructDeleter& handles, ReadSource& source, ReadState& state) {
    png_structp png = handles.png;
    png_infop info = handles.info;
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, &source, readFromMemory);
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_chunk_cache_max(png, 64);
    png_set_chunk_malloc_max(png, 16u << 20);
    png_set_benign_errors(png, 1);
    // Chunks the decoder has no use for are skipped rather than parsed and stored.
    static const png_byte kSkipped[] =
        "tEXt\0zTXt\0iTXt\0tIME\0sPLT\0eXIf\0pCAL\0sCAL\0hIST\0bKGD\0pHYs\0oFFs\0sBIT\0";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, 13);
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, nullptr, nullptr);
    if (width == 0 || height == 0 || uint64_t{width} * uint64_t{height} > png::kMaxDecodePixels ||
        !rawSizePlausible(width, height, png_get_channels(png, info), bitDepth, source.length)) {
        return false;
    }
    state.isGray = (colorType & PNG_COLOR_MASK_COLOR) == 0;
    collectTags(png, info, state.tags);

    png_set_expand(png);  // palette to RGB, tRNS to alpha, low-bit grey to 8 bits
    png_set_scale_16(png);
    if (state.isGray) {
        png_set_gray_to_rgb(png);
    }
    if ((colorType & PNG_COLOR_MASK_ALPHA) == 0) {
        png_set_add_alpha(png, 0xffff, PNG_FILLER_AFTER);
    }
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t{width} * 4) {
        return false;
    }
    state.image.width = width;
    state.image.height = height;
    try {
        state.image.rgba.resize(size_t{width} * height * 4);
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint8_t* rows = state.image.rgba.data();
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, rows + size_t{y} * width * 4, nullptr);
        }
    }
    return true;
}

}  // namespace

bool looksLikePng(const uint8_t* bytes, size_t length) {
    return length >= 8 && png_sig_cmp(bytes, 0, 8) == 0;
}

PixelBuffer decodePngFile(const uint8_t* bytes, size_t length) {
    ReadStructDeleter handles;
    handles.png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, errorToJump, ignoreWarning);
    if (!handles.png) {
        return {};
    }
    handles.info = png_create_info_struct(handles.png);
    if (!handles.info) {
        return {};
    }
    ReadSource source{bytes, length, 0};
    ReadState state;
    if (!readPng(handles, source, state)) {
        return {};
    }
    // The profile lives in the info struct, which is still alive here.
    if (!convertEmbeddedToSrgb(state.image.rgba.data(), state.image.rgba.size() / 4, state.isGray,
                               state.tags)) {
        return {};
    }
    return std::move(state.image);
}

}  // namespace imaging
