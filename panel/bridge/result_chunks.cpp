#include "panel/bridge/result_chunks.h"

#include <new>
#include <utility>

void ResultChunks::append(const std::string& key, std::string_view piece) {
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
    if (piece.size() > maxCharacters_ - entry.text.size() ||
        piece.size() > maxCharacters_ - pendingCharacters_) {
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
