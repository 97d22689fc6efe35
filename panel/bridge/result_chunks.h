#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "plugin/spool.h"

// The result text the page sends in "apply-result-chunk" pieces, assembled per ack id until its
// "apply-result" takes it. Bounded, since the page can send without end: a text longer than any
// result the plug-in would read, or a piece that would take all pending text past that, drops
// its buffer, and so does a piece for a new id while kMaxPendingResults ids are being assembled.
// A dropped buffer takes no more pieces; its "apply-result" gets the empty text, which is
// answered as a result that does not decode. Main thread only.
class ResultChunks {
  public:
    // Base64 characters of the largest result file the plug-in reads (spool::kMaxFileBytes).
    static constexpr size_t kMaxCharacters = (spool::kMaxFileBytes + 2) / 3 * 4;
    static constexpr size_t kMaxPendingResults = 16;

    explicit ResultChunks(size_t maxCharacters = kMaxCharacters) : maxCharacters_(maxCharacters) {}

    void append(const std::string& key, std::string_view piece);
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
