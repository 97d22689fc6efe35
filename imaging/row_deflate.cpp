#include "imaging/row_deflate.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>

#ifdef LUMIVO_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace imaging {
namespace {

// Filtered rows are made in batches of about this many bytes, small enough to stay in cache.
constexpr size_t kBatchBytes = 256 * 1024;
constexpr uint8_t kFilterUp = 2;

// Writes the Up-filtered form of rows [begin, end) into dst (rows x (rowBytes + 1) bytes).
void filterUp(const PixelBuffer& image, uint32_t begin, uint32_t end, uint8_t* dst) {
    const size_t rowBytes = size_t{image.width} * 4;
    for (uint32_t y = begin; y < end; ++y) {
        const uint8_t* row = image.rgba.data() + y * rowBytes;
        *dst++ = kFilterUp;
        if (y == 0) {
            std::copy(row, row + rowBytes, dst);
        } else {
            const uint8_t* above = row - rowBytes;
            for (size_t i = 0; i < rowBytes; ++i) {
                dst[i] = static_cast<uint8_t>(row[i] - above[i]);
            }
        }
        dst += rowBytes;
    }
}

#ifdef LUMIVO_HAVE_ISAL

constexpr size_t kOutputStep = 1 << 20;

bool deflateRowsIsal(const PixelBuffer& image, uint32_t begin, uint32_t end, bool last,
                     std::vector<uint8_t>& out, uint32_t& adler) {
    const size_t rowBytes = size_t{image.width} * 4;
    // ISA-L counts input in 32 bits; rows over a gigabyte (a buffer no decoder of ours makes)
    // are refused rather than split.
    if (begin >= end || rowBytes + 1 > (size_t{1} << 30)) {
        return false;
    }
    const size_t rowsPerBatch = std::max<size_t>(1, kBatchBytes / (rowBytes + 1));
    auto stream = std::make_unique<isal_zstream>();
    auto levelBuffer = std::make_unique<uint8_t[]>(ISAL_DEF_LVL1_DEFAULT);
    auto batch = std::make_unique<uint8_t[]>(rowsPerBatch * (rowBytes + 1));
    isal_deflate_init(stream.get());
    stream->level = 1;
    stream->level_buf = levelBuffer.get();
    stream->level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    stream->gzip_flag = IGZIP_DEFLATE;

    size_t used = out.size();
    adler = 1;
    for (uint32_t y = begin; y < end;) {
        uint32_t batchEnd = static_cast<uint32_t>(std::min<size_t>(end, y + rowsPerBatch));
        size_t batchBytes = size_t{batchEnd - y} * (rowBytes + 1);
        filterUp(image, y, batchEnd, batch.get());
        adler = libdeflate_adler32(adler, batch.get(), batchBytes);
        bool lastBatch = batchEnd == end;
        stream->next_in = batch.get();
        stream->avail_in = static_cast<uint32_t>(batchBytes);
        stream->end_of_stream = lastBatch && last ? 1 : 0;
        stream->flush = lastBatch && !last ? SYNC_FLUSH : NO_FLUSH;
        do {
            if (out.size() - used < kOutputStep / 4) {
                out.resize(used + kOutputStep);
            }
            stream->next_out = out.data() + used;
            stream->avail_out =
                static_cast<uint32_t>(std::min<size_t>(out.size() - used, 1u << 30));
            if (isal_deflate(stream.get()) != COMP_OK) {
                return false;
            }
            used = static_cast<size_t>(stream->next_out - out.data());
        } while (stream->avail_in > 0 || stream->avail_out == 0 ||
                 (stream->end_of_stream && stream->internal_state.state != ZSTATE_END));
        y = batchEnd;
    }
    out.resize(used);
    return true;
}

#endif

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// The portable path: one part only, since libdeflate always ends with the final block.
[[maybe_unused]] bool deflateRowsLibdeflate(const PixelBuffer& image, uint32_t begin, uint32_t end,
                                            std::vector<uint8_t>& out, uint32_t& adler) {
    const size_t rowBytes = size_t{image.width} * 4;
    std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
        libdeflate_alloc_compressor(1));
    if (!compressor) {
        return false;
    }
    std::vector<uint8_t> filtered(size_t{end - begin} * (rowBytes + 1));
    filterUp(image, begin, end, filtered.data());
    adler = libdeflate_adler32(1, filtered.data(), filtered.size());
    size_t bound = libdeflate_deflate_compress_bound(compressor.get(), filtered.size());
    size_t used = out.size();
    out.resize(used + bound);
    size_t written = libdeflate_deflate_compress(compressor.get(), filtered.data(), filtered.size(),
                                                 out.data() + used, bound);
    if (written == 0) {
        return false;
    }
    out.resize(used + written);
    return true;
}

}  // namespace

bool deflateRows(const PixelBuffer& image, uint32_t begin, uint32_t end, bool last,
                 std::vector<uint8_t>& out, uint32_t& adler) {
#ifdef LUMIVO_HAVE_ISAL
    return deflateRowsIsal(image, begin, end, last, out, adler);
#else
    return last && deflateRowsLibdeflate(image, begin, end, out, adler);
#endif
}

bool canDeflateInParts() {
#ifdef LUMIVO_HAVE_ISAL
    return true;
#else
    return false;
#endif
}

uint32_t adler32Combine(uint32_t first, uint32_t second, uint64_t secondLength) {
    constexpr uint32_t kBase = 65521;
    uint32_t rem = static_cast<uint32_t>(secondLength % kBase);
    uint32_t sum1 = first & 0xffff;
    uint32_t sum2 = static_cast<uint32_t>((uint64_t{rem} * sum1) % kBase);
    sum1 += (second & 0xffff) + kBase - 1;
    sum2 += ((first >> 16) & 0xffff) + ((second >> 16) & 0xffff) + kBase - rem;
    if (sum1 >= kBase)
        sum1 -= kBase;
    if (sum1 >= kBase)
        sum1 -= kBase;
    if (sum2 >= (kBase << 1))
        sum2 -= (kBase << 1);
    if (sum2 >= kBase)
        sum2 -= kBase;
    return sum1 | (sum2 << 16);
}

}  // namespace imaging
