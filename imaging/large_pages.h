#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Buffers the size of an image are asked for in 2 MiB pages where the kernel offers them
// (transparent huge pages, "madvise" mode by default on Debian). Each fresh 4 KiB page costs a
// fault on first touch, about a quarter of a second over a 24-megapixel canvas; in 2 MiB pages
// the same canvas costs a few milliseconds. Elsewhere the advice is ignored and nothing
// changes. The advice must come before the first touch, so these are for empty vectors.
namespace imaging {

// Reserves room for n bytes (address space only) in large pages.
void reserveInLargePages(std::vector<uint8_t>& bytes, size_t n);

// Makes bytes n zero bytes long, in large pages.
void resizeInLargePages(std::vector<uint8_t>& bytes, size_t n);

}  // namespace imaging
