#include <libdeflate.h>

#include "imaging/png_chunk_list.h"
#include "imaging/png_text.h"

namespace png {
namespace {

constexpr size_t kMaxKeywordBytes = 79;

// Latin-1 letters and signs, and single spaces between words: what a tEXt keyword may hold.
bool usableKeyword(std::string_view keyword) {
    if (keyword.empty() || keyword.size() > kMaxKeywordBytes || keyword.front() == ' ' ||
        keyword.back() == ' ' || keyword.find("  ") != std::string_view::npos) {
        return false;
    }
    for (char c : keyword) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 32 || (byte > 126 && byte < 161)) {
            return false;
        }
    }
    return true;
}

void appendBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

}  // namespace

size_t TextSplice::size() const {
    size_t total = 0;
    for (const auto& piece : pieces_) {
        total += piece.size();
    }
    return total;
}

std::optional<TextSplice> spliceText(const uint8_t* bytes, size_t length, std::string_view keyword,
                                     std::string_view text) {
    if (!usableKeyword(keyword) || text.find('\0') != std::string_view::npos ||
        text.size() > 0x7fffffffu - kMaxKeywordBytes - 1) {
        return std::nullopt;
    }
    TextSplice splice;
    // The kept ranges: everything but the keyword's old chunks. IHDR ends the first range, and
    // the new chunk goes right after it, where every reader meets it first.
    size_t keptFrom = 0;
    bool afterHeader = false;
    const bool whole = imaging::walkPngChunks(bytes, length, [&](const imaging::PngChunk& chunk) {
        if (!afterHeader) {
            afterHeader = true;
            splice.pieces_.emplace_back(bytes, chunk.end());
            splice.pieces_.emplace_back();  // the new chunk, filled in below
            keptFrom = chunk.end();
        } else if (imaging::isTextOf(chunk, keyword)) {
            if (chunk.offset > keptFrom) {
                splice.pieces_.emplace_back(bytes + keptFrom, chunk.offset - keptFrom);
            }
            keptFrom = chunk.end();
        }
    });
    if (!whole) {
        return std::nullopt;
    }
    // IEND and anything after it stay as they were.
    splice.pieces_.emplace_back(bytes + keptFrom, length - keptFrom);

    const uint32_t dataLength = static_cast<uint32_t>(keyword.size() + 1 + text.size());
    std::vector<uint8_t>& chunk = splice.chunk_;
    chunk.reserve(size_t{dataLength} + 12);
    appendBigEndian32(chunk, dataLength);
    chunk.insert(chunk.end(), {'t', 'E', 'X', 't'});
    chunk.insert(chunk.end(), keyword.begin(), keyword.end());
    chunk.push_back(0);
    chunk.insert(chunk.end(), text.begin(), text.end());
    appendBigEndian32(chunk, libdeflate_crc32(0, chunk.data() + 4, size_t{dataLength} + 4));
    splice.pieces_[1] = std::span<const uint8_t>(chunk);
    return splice;
}

}  // namespace png
