#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "imaging/png_text.h"

// Which picture a spool file belongs to. The mark is a digest of the editor's own bytes of the
// filter area (its planes as the host holds them, in the document's colour space) with the
// area's size and plane count. An input file carries the mark of the picture it shows; a result
// file carries the mark of the picture the page made it from, so a filter run applies it to
// that picture only. Part of the spool contract: any thread.
struct PictureMark {
    uint64_t high = 0;  // the 128-bit XXH3 digest
    uint64_t low = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t planes = 0;

    bool operator==(const PictureMark&) const = default;
};

namespace picture_mark {

// The keyword of the PNG text chunk that holds a spool file's mark.
inline constexpr char kKeyword[] = "com.lumivo.picture";

// "xxh3-128:<32 lower-case hex digits> <width>x<height>x<planes>".
std::string format(const PictureMark& mark);
// The mark that format wrote, or none for any other text.
std::optional<PictureMark> parse(std::string_view text);

// What a PNG file says of its picture.
struct Found {
    bool present = false;             // the file carries a mark chunk
    std::optional<PictureMark> mark;  // the mark, when there is exactly one and it reads
};
Found find(const uint8_t* bytes, size_t length);

// The PNG file with its mark replaced by `mark` (png::spliceText); none when the bytes aren't a
// PNG whose chunk list can be walked.
std::optional<png::TextSplice> spliced(const uint8_t* bytes, size_t length,
                                       const PictureMark& mark);

}  // namespace picture_mark
