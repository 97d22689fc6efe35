// Files that claim a large canvas in a few bytes: a broken one must fail before its canvas is
// allocated, an intact one must still decode.
#include <gtest/gtest.h>

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "imaging/png.h"
#include "largest_allocation.h"
#include "test_images.h"

namespace {

using testimg::Bytes;

constexpr uint32_t kSide = 3072;  // a 36 MiB canvas, from a file of some tens of kilobytes

void appendBe32(Bytes& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(uint8_t(value >> shift));
    }
}

void appendChunk(Bytes& out, const char* type, const uint8_t* data, size_t length) {
    appendBe32(out, static_cast<uint32_t>(length));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + length);
    appendBe32(out, libdeflate_crc32(0, &out[start], length + 4));
}

Bytes rawDeflate(const uint8_t* data, size_t length) {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(6);
    Bytes out(libdeflate_deflate_compress_bound(compressor, length));
    out.resize(libdeflate_deflate_compress(compressor, data, length, out.data(), out.size()));
    libdeflate_free_compressor(compressor);
    return out;
}

// A flat RGB image (every sample 40), which compresses about a thousand times, written by hand.
// Broken: its deflate stream is final after half the image data, and the rest follows as data
// that belongs to no stream; the file keeps its length and every CRC checks.
Bytes flatPng(bool interlaced, bool broken) {
    Bytes raw;
    using Pass = std::array<uint32_t, 4>;  // first column and row, then their steps
    const std::vector<Pass> passes =
        interlaced ? std::vector<Pass>{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                       {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}
                   : std::vector<Pass>{{0, 0, 1, 1}};
    for (const Pass& pass : passes) {
        const uint32_t width = (kSide - pass[0] + pass[2] - 1) / pass[2];
        const uint32_t height = (kSide - pass[1] + pass[3] - 1) / pass[3];
        for (uint32_t y = 0; y < height; ++y) {
            raw.push_back(0);
            raw.insert(raw.end(), size_t{width} * 3, 40);
        }
    }
    Bytes stream{0x78, 0x9c};
    const size_t half = broken ? raw.size() / 2 : raw.size();
    for (const auto& [from, to] : {std::pair{size_t{0}, half}, std::pair{half, raw.size()}}) {
        if (from < to) {
            const Bytes part = rawDeflate(raw.data() + from, to - from);
            stream.insert(stream.end(), part.begin(), part.end());
        }
    }
    appendBe32(stream, broken ? 0 : libdeflate_adler32(1, raw.data(), raw.size()));

    Bytes file{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    Bytes header;
    appendBe32(header, kSide);
    appendBe32(header, kSide);
    header.insert(header.end(), {8, 2, 0, 0, uint8_t(interlaced ? 1 : 0)});
    appendChunk(file, "IHDR", header.data(), header.size());
    for (size_t at = 0; at < stream.size(); at += 1 << 16) {
        appendChunk(file, "IDAT", stream.data() + at,
                    std::min<size_t>(1 << 16, stream.size() - at));
    }
    appendChunk(file, "IEND", nullptr, 0);
    return file;
}

TEST(HostileDecode, ADenseFileWithABrokenStreamFailsBeforeItsCanvas) {
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced" : "not interlaced");
        const Bytes file = flatPng(interlaced, true);
        ASSERT_LT(file.size(), size_t{1} << 20);
        const auto size = png::claimedSize(file.data(), file.size());
        ASSERT_TRUE(size && size->width == kSide && size->height == kSide);
        const struct {
            const char* what;
            std::function<PixelBuffer()> decode;
        } ways[] = {
            {"whole", [&] { return png::decode(file.data(), file.size()); }},
            {"fitted", [&] { return png::decodeCover(file.data(), file.size(), 120, 80); }},
            {"at its size",
             [&] { return png::decodeCover(file.data(), file.size(), kSide, kSide); }},
        };
        for (const auto& way : ways) {
            largest_allocation::reset();
            EXPECT_TRUE(way.decode().empty()) << way.what;
            EXPECT_LT(largest_allocation::since(), size_t{1} << 20) << way.what;
        }
    }
}

TEST(HostileDecode, ADenseIntactFileStillDecodes) {
    for (bool interlaced : {false, true}) {
        const Bytes file = flatPng(interlaced, false);
        const PixelBuffer whole = png::decode(file.data(), file.size());
        ASSERT_EQ(whole.width, kSide) << interlaced;
        EXPECT_EQ(std::vector<uint8_t>(whole.rgba.end() - 4, whole.rgba.end()),
                  (std::vector<uint8_t>{40, 40, 40, 255}));
        const PixelBuffer fitted = png::decodeCover(file.data(), file.size(), 120, 80);
        ASSERT_EQ(fitted.width, 120u) << interlaced;
        EXPECT_EQ(std::vector<uint8_t>(fitted.rgba.begin(), fitted.rgba.begin() + 4),
                  (std::vector<uint8_t>{40, 40, 40, 255}));
    }
}

TEST(HostileDecode, ClaimedSizeReadsHeadersOnly) {
    const Bytes ownPng = png::encode(testimg::patternImage(7, 5, true));
    const Bytes jpeg = testimg::writeJpeg(testimg::patternImage(9, 4, false), false, 80);
    Bytes headerOnly(ownPng.begin(), ownPng.begin() + 24);
    const struct {
        const char* what;
        Bytes bytes;
        std::optional<std::pair<uint32_t, uint32_t>> size;
    } cases[] = {
        {"png", ownPng, std::pair{7u, 5u}},
        {"png header alone", headerOnly, std::pair{7u, 5u}},
        {"png cut in its header", Bytes(ownPng.begin(), ownPng.begin() + 20), std::nullopt},
        {"jpeg", jpeg, std::pair{9u, 4u}},
        {"other bytes", Bytes(64, 3), std::nullopt},
        {"nothing", Bytes(), std::nullopt},
    };
    for (const auto& c : cases) {
        const auto size = png::claimedSize(c.bytes.data(), c.bytes.size());
        ASSERT_EQ(size.has_value(), c.size.has_value()) << c.what;
        if (size) {
            EXPECT_EQ(std::pair(size->width, size->height), *c.size) << c.what;
        }
    }
}

}  // namespace
