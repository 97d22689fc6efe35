#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "plugin/spool.h"

// The result text the page sends in "apply-result-chunk" pieces, assembled per ack id until its
// "apply-result" takes it. Bounded, since the page can send without end: a piece that would take
// its text, or all pending text together, past the limit it comes with (what a result for the
// current frame could need) drops its buffer, and so does a piece for a new id while
// kMaxPendingResults ids are being assembled. A dropped buffer takes no more pieces; its
// "apply-result" gets the empty text, which is answered as a result that does not decode. Main
// thread only.
class ResultChunks {
  public:
    // Base64 characters of the largest result file the plug-in reads (spool::kMaxFileBytes).
    static constexpr size_t kMaxCharacters = (spool::kMaxFileBytes + 2) / 3 * 4;
    static constexpr size_t kMaxPendingResults = 16;
    // Whatever the frame, a result may take this many bytes of PNG (a small frame's result may
    // still carry a colour profile and metadata)...
    static constexpr uint64_t kMinResultBytes = uint64_t{16} << 20;
    // ...and this many beyond its pixel data.
    static constexpr uint64_t kMetadataBytes = uint64_t{4} << 20;

    explicit ResultChunks(size_t maxCharacters = kMaxCharacters) : maxCharacters_(maxCharacters) {}

    // The characters a result for a width x height frame may take: the base64 of the largest PNG
    // of that many pixels (16-bit RGBA, stored uncompressed, in small chunks) with room for
    // metadata; at least kMinResultBytes' worth and at most kMaxCharacters.
    static size_t maxCharactersFor(uint32_t width, uint32_t height);

    // `limit` bounds this id's text and all pending text together; the constructor's bound
    // holds too.
    void append(const std::string& key, std::string_view piece, size_t limit = kMaxCharacters);
    // The assembled text, "" when there is none or it was dropped; the id is forgotten.
    std::string take(const std::string& key);

    size_t pendingCharacters() const { return pendingCharacters_; }
    size_t pendingResults() const { return entries_.size(); }

  private:
    struct Entry {
        std::string text;
        bool dropped = false;
    };
    void drop(Entry& entry);

    size_t maxCharacters_;
    size_t pendingCharacters_ = 0;
    std::unordered_map<std::string, Entry> entries_;
};
