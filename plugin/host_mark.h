#pragma once

#include <cstddef>
#include <cstdint>

#include "plugin/picture_mark.h"

// The mark of width x height pixels of `planes` interleaved bytes each, rows `rowBytes` apart
// (either sign) from `first`: the digest of exactly those bytes, row after row, whatever lies
// between the rows. Taken over the host's own planes, before any colour conversion, so the
// document's state right after a result was written matches the mark of what was written.
// Any thread.
PictureMark markOfPlanes(const uint8_t* first, ptrdiff_t rowBytes, uint32_t width, uint32_t height,
                         uint32_t planes);
