#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Text chunks (tEXt) of a PNG file, read and written through the file's chunk list alone: no
// chunk is inflated and no pixel is decoded, so the cost is the same for any image size. Pure
// functions; any thread; nothing throws but std::bad_alloc.
namespace png {

// What a file says under one keyword.
struct TextLookup {
    // At least one tEXt chunk carries the keyword.
    bool present = false;
    // Its text, when exactly one does, its checksum holds and the text fits maxTextBytes.
    std::optional<std::string> text;
};

// Walks the chunk list from IHDR to IEND. A file whose list can't be walked that far (not a
// PNG, or a chunk that runs past the end) holds no text.
TextLookup findText(const uint8_t* bytes, size_t length, std::string_view keyword,
                    size_t maxTextBytes);

// A PNG file with every tEXt chunk of one keyword left out and one new chunk holding the given
// text right after IHDR: the pieces to write one after the other, ranges of the original bytes
// and the new chunk. The pieces point into the original bytes, which must outlive this, and
// into the new chunk held here. Move-only.
class TextSplice {
  public:
    TextSplice(const TextSplice&) = delete;
    TextSplice& operator=(const TextSplice&) = delete;
    TextSplice(TextSplice&&) = default;
    TextSplice& operator=(TextSplice&&) = default;

    const std::vector<std::span<const uint8_t>>& pieces() const { return pieces_; }
    // The spliced file's length.
    size_t size() const;

  private:
    friend std::optional<TextSplice> spliceText(const uint8_t*, size_t, std::string_view,
                                                std::string_view);
    TextSplice() = default;

    std::vector<uint8_t> chunk_;
    std::vector<std::span<const uint8_t>> pieces_;
};

// None when the bytes aren't a PNG whose chunk list reaches IEND, or when the keyword (1 to 79
// printable Latin-1 characters, no leading, trailing or double spaces) or the text (no NUL)
// can't be a tEXt chunk's.
std::optional<TextSplice> spliceText(const uint8_t* bytes, size_t length, std::string_view keyword,
                                     std::string_view text);

}  // namespace png
