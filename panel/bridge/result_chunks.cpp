#include "panel/bridge/result_chunks.h"

#include <algorithm>
#include <new>
#include <utility>

size_t ResultChunks::maxCharactersFor(uint32_t width, uint32_t height) {
    // Rows of 16-bit RGBA with their filter bytes, plus a sixty-fourth for the framing of stored
    // deflate blocks and of chunks as small as 1 KiB.
    uint64_t pixelData = 0;
    if (__builtin_mul_overflow(uint64_t{height}, uint64_t{width} * 8 + 1, &pixelData)) {
        return kMaxCharacters;
    }
    const uint64_t bytes = std::clamp<uint64_t>(pixelData + pixelData / 64 + kMetadataBytes,
                                                kMinResultBytes, spool::kMaxFileBytes);
    return static_cast<size_t>((bytes + 2) / 3 * 4);
}

void ResultChunks::append(const std::string& key, std::string_view piece, size_t limit) {
    limit = std::min(limit, maxCharacters_);
    auto found = entries_.find(key);
    if (found == entries_.end()) {
        if (entries_.size() >= kMaxPendingResults) {
            return;
        }
        found = entries_.emplace(key, Entry{}).first;
    }
    Entry& entry = found->second;
    if (entry.dropped) {
        return;
    }
    // The entry's text is part of all pending text. The limit may have shrunk with the frame.
    if (pendingCharacters_ > limit || piece.size() > limit - pendingCharacters_) {
        drop(entry);
        return;
    }
    try {
        entry.text.append(piece);
    } catch (const std::bad_alloc&) {
        drop(entry);
        return;
    }
    pendingCharacters_ += piece.size();
}

std::string ResultChunks::take(const std::string& key) {
    auto found = entries_.find(key);
    if (found == entries_.end()) {
        return {};
    }
    std::string text = std::move(found->second.text);
    pendingCharacters_ -= text.size();
    entries_.erase(found);
    return text;
}

void ResultChunks::drop(Entry& entry) {
    pendingCharacters_ -= entry.text.size();
    std::string().swap(entry.text);
    entry.dropped = true;
}
