#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The chunk list of a PNG file, walked by the chunks' lengths alone. Internal to the imaging
// library. Any thread.
namespace imaging {

struct PngChunk {
    size_t offset;    // of the chunk's length field
    uint32_t length;  // of its data
    uint32_t type;
    const uint8_t* data;

    size_t end() const { return offset + 12 + length; }
};

constexpr uint32_t pngChunkType(const char (&name)[5]) {
    return (uint32_t(uint8_t(name[0])) << 24) | (uint32_t(uint8_t(name[1])) << 16) |
           (uint32_t(uint8_t(name[2])) << 8) | uint32_t(uint8_t(name[3]));
}

inline uint32_t readBigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Calls visit(chunk) for every chunk from IHDR to IEND, both included, and returns true once
// IEND was visited. False, possibly after some visits, when the bytes don't start with the PNG
// signature and an IHDR, or a chunk claims more than the 2^31 - 1 bytes a PNG chunk may hold or
// more than is left. Checksums are not read here.
template <typename Visit>
bool walkPngChunks(const uint8_t* bytes, size_t length, Visit&& visit) {
    static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes == nullptr || length < sizeof kSignature ||
        std::memcmp(bytes, kSignature, sizeof kSignature) != 0) {
        return false;
    }
    for (size_t offset = sizeof kSignature; length - offset >= 12;) {
        const PngChunk chunk{offset, readBigEndian32(bytes + offset),
                             readBigEndian32(bytes + offset + 4), bytes + offset + 8};
        if (chunk.length > 0x7fffffffu || chunk.length > length - offset - 12) {
            return false;
        }
        if (offset == sizeof kSignature && chunk.type != pngChunkType("IHDR")) {
            return false;
        }
        visit(chunk);
        if (chunk.type == pngChunkType("IEND")) {
            return true;
        }
        offset = chunk.end();
    }
    return false;
}

// Whether the chunk is a tEXt chunk whose keyword is `keyword`.
inline bool isTextOf(const PngChunk& chunk, std::string_view keyword) {
    return chunk.type == pngChunkType("tEXt") && chunk.length > keyword.size() &&
           std::memcmp(chunk.data, keyword.data(), keyword.size()) == 0 &&
           chunk.data[keyword.size()] == 0;
}

}  // namespace imaging
