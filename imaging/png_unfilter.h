#pragma once

#include <cstddef>
#include <cstdint>

// Reverses the five PNG row filters for 4-byte pixels. Any thread.
namespace imaging {

// Unfilters one row of `bytes` bytes from src into dst; prev is the previous unfiltered row
// (all zero for the first). src may sit above dst in the same buffer (rows shifting down over
// their filter bytes) but never below it. False for an unknown filter type.
bool unfilterRow(uint8_t filter, const uint8_t* src, uint8_t* dst, const uint8_t* prev,
                 size_t bytes);

}  // namespace imaging
